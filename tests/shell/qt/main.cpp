// The front-end tests run on Qt's offscreen platform: real widgets, no X server.
#include "support/qt_test_main.h"

int main(int argc, char** argv) {
    return RunQtTests(argc, argv, "offscreen");
}
