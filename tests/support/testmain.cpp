#include "components/components.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

// The application object is made only when tests run: test discovery runs the
// binary with --gtest_list_tests, where nothing needs it.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    components::RegisterComponents();
    return RUN_ALL_TESTS();
}
