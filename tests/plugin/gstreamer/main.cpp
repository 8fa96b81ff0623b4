// The camera plug-in's tests run in a Qt application on the offscreen platform, as the plug-in
// runs inside the viewer, over fake cameras.
#include "support/fake_camera.h"
#include "support/qt_test_main.h"

int main(int argc, char** argv) {
    return RunQtTests(argc, argv, "offscreen", new FakeCameraEnvironment);
}
