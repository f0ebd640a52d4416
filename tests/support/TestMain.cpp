#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

// Every test executable runs with an application object, the assertion recorder and the log capture.
// Listing the cases needs none of them (CTest lists them before the display may exist).
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::GTEST_FLAG(death_test_style) = "threadsafe";
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();
    if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);

    QApplication app(argc, argv);
    AssertRecorder::install();
    LogCapture::instance();
    return RUN_ALL_TESTS();
}
