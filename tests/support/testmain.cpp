#include <QCoreApplication>
#include <gtest/gtest.h>

// The application object is made only when tests run: test discovery runs the
// binary with --gtest_list_tests, where nothing needs it.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Tests never need a display; the staged program folder is found here.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QV_STAGE_DIR"))
        qputenv("QV_STAGE_DIR", QV_STAGE_DIR_DEFAULT);
    if (qEnvironmentVariableIsEmpty("QV_TEST_BIN_DIR"))
        qputenv("QV_TEST_BIN_DIR", QV_TEST_BIN_DIR_DEFAULT);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
