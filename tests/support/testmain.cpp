#include "tests/support/testapplication.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

// A test program with windows links its own, strong definition (a QApplication).
__attribute__((weak)) std::unique_ptr<QCoreApplication> MakeTestApplication(int& argc,
                                                                            char** argv) {
    return std::make_unique<QCoreApplication>(argc, argv);
}

// The application object is made only when tests run: test discovery runs the
// binary with --gtest_list_tests, where nothing needs it.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Tests never need a display, and the programs they start never open a window: the
    // windows of a test are drawn off screen. The staged program folder is found here.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
    if (qEnvironmentVariableIsEmpty("QV_STAGE_DIR"))
        qputenv("QV_STAGE_DIR", QV_STAGE_DIR_DEFAULT);
    if (qEnvironmentVariableIsEmpty("QV_TEST_BIN_DIR"))
        qputenv("QV_TEST_BIN_DIR", QV_TEST_BIN_DIR_DEFAULT);
    const std::unique_ptr<QCoreApplication> app = MakeTestApplication(argc, argv);
    return RUN_ALL_TESTS();
}
