// The main of the test programs that need a QApplication.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QThreadPool>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

// Qt's raster painter hands large fills to its global thread pool. A pool thread still ending
// while the process exits leaves its thread data unreachable for a moment, and the leak check at
// exit then reports it now and then. So the pool's threads stay parked for the whole run and the
// leak check runs here, before the pool goes away. environment may be null; gtest owns it.
inline int RunQtTests(int argc, char** argv, const char* platform,
                      ::testing::Environment* environment = nullptr) {
    qputenv("QT_QPA_PLATFORM", platform);
    int result = 0;
    {
        QApplication application(argc, argv);
        QThreadPool::globalInstance()->setExpiryTimeout(-1);
        ::testing::InitGoogleTest(&argc, argv);
        if (environment != nullptr) {
            ::testing::AddGlobalTestEnvironment(environment);
        }
        result = RUN_ALL_TESTS();
    }
#if defined(__SANITIZE_ADDRESS__)
    __lsan_do_leak_check();
#endif
    return result;
}
