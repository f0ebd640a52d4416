#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)
// A leak report names the library of each allocation, but one unloaded by then (the sound
// libraries' plug-ins) shows as unknown and cannot be suppressed by name: sanitized test runs keep
// every library loaded.
extern "C" int dlclose(void*)
{
    return 0;
}
#endif

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

    // Tests that run side by side must not see each other's temporary files (rendered scores and
    // their clean-up). Child processes (death tests, hosts) inherit the same folder.
    QTemporaryDir privateTmp;
    if (!std::getenv("BRISOLA_TEST_TMPDIR") && privateTmp.isValid()) {
        setenv("TMPDIR", privateTmp.path().toLocal8Bit().constData(), 1);
        setenv("BRISOLA_TEST_TMPDIR", "1", 1);
    }

    QApplication app(argc, argv);
    AssertRecorder::install();
    LogCapture::instance();
    return RUN_ALL_TESTS();
}
