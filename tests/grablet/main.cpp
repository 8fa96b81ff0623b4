// The camera plug-in's tests run in a Qt application on the offscreen platform, as the plug-in
// runs inside the viewer, over fake cameras.
#include <gtest/gtest.h>

#include <QApplication>

#include "fake_camera/fake_camera.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new FakeCameraEnvironment);
    return RUN_ALL_TESTS();
}
