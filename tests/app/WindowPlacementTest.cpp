#include "app/shell/WindowPlacement.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QWindow>

// Where the main window opens on screens of every size, with and without a window manager's frame:
// its whole frame on the free area, at 1024x768 where that fits.

TEST(WindowPlacementTest, WindowAndFrameStayOnTheFreeArea)
{
    const QSize preferred(1024, 768);
    const QMargins none, frame(4, 28, 4, 4);  // a title bar and thin borders
    const struct {
        const char* what;
        QRect available;
        QMargins frame;
        QRect window;
    } rows[] = {
        {"1024x768 without a frame: the whole screen", {0, 0, 1024, 768}, none, {0, 0, 1024, 768}},
        {"800x600 without a frame: as large as the screen", {0, 0, 800, 600}, none, {0, 0, 800, 600}},
        {"800x600 framed: the title bar on the screen", {0, 0, 800, 600}, frame, {4, 28, 792, 568}},
        {"1500x1100: centred at its size", {0, 0, 1500, 1100}, none, {238, 166, 1024, 768}},
        {"1500x1100 framed: the frame centred", {0, 0, 1500, 1100}, frame, {238, 178, 1024, 768}},
        {"a panel above: below it", {0, 30, 800, 570}, frame, {4, 58, 792, 538}},
        {"a second screen to the right", {1280, 0, 800, 600}, none, {1280, 0, 800, 600}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const QRect window = WindowPlacement::fitted(preferred, row.available, row.frame);
        EXPECT_EQ(window, row.window);
        EXPECT_TRUE(row.available.contains(window.marginsAdded(row.frame)));
    }
    // the smallest size gives way to a screen that cannot hold it
    EXPECT_EQ(WindowPlacement::minimumFor({800, 600}, {0, 0, 1500, 1100}, frame), QSize(800, 600));
    EXPECT_EQ(WindowPlacement::minimumFor({800, 600}, {0, 0, 800, 600}, frame), QSize(792, 568));
}

// A window placed on the test display (no window manager) opens at its preferred size, centred.
TEST(WindowPlacementTest, AShownWindowIsPlacedOnItsScreen)
{
    if (QGuiApplication::platformName() != "xcb")
        GTEST_SKIP() << "needs the test display";
    QWindow window;
    window.show();
    WindowPlacement::place(&window, {1024, 768}, {800, 600});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QRect available = window.screen()->availableGeometry();
    const QRect expected = WindowPlacement::fitted({1024, 768}, available, window.frameMargins());
    QTRY_COMPARE(window.geometry(), expected);
    EXPECT_TRUE(available.contains(window.frameGeometry()));
    EXPECT_EQ(window.minimumSize(), QSize(800, 600));
}
