// These tests look at a real X display (the test command starts a virtual one): the windows are
// mapped by the X server and the screenshots come from it.
#include "support/qt_test_main.h"

int main(int argc, char** argv) {
    return RunQtTests(argc, argv, "xcb");
}
