#include "notation/NotationPageManager.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

namespace {

TEST(NotationPageManagerTest, PagesCountFromOneAndAreBoundsChecked)
{
    NotationPageManager pages;
    EXPECT_GT(pages.firstVisiblePage(), pages.lastVisiblePage());
    EXPECT_EQ(pages.totalSize(), QSizeF(0, 0));
    pages.setPages({QSizeF(210, 297), QSizeF(210, 200)});
    EXPECT_EQ(pages.pageSize(1), QSizeF(210, 297));
    LogCapture::instance().clear();
    EXPECT_FALSE(pages.pageSize(0).isValid());
    EXPECT_FALSE(pages.pageSize(3).isValid());
    EXPECT_TRUE(LogCapture::instance().contains("out of range"));
    EXPECT_FALSE(pages.setPage(3));
    EXPECT_EQ(pages.page(), 1);
    // one cell of grid shows one page; fewer pages later fall back to the first
    EXPECT_EQ(pages.pageRect(1), QRectF(0, 0, 210, 297));
    EXPECT_TRUE(pages.pageRect(2).isNull());
    ASSERT_TRUE(pages.setPage(2));
    EXPECT_EQ(pages.firstVisiblePage(), 2);
    EXPECT_EQ(pages.totalSize(), QSizeF(210, 200));
    pages.setPages({QSizeF(50, 50)});
    EXPECT_EQ(pages.page(), 1);
}

TEST(NotationPageManagerTest, GridPlacesPagesInRowsOfColumns)
{
    NotationPageManager pages;
    pages.setPages({QSizeF(100, 150), QSizeF(120, 90), QSizeF(80, 200), QSizeF(10, 10), QSizeF(10, 10)});
    pages.setGridWidth(2);
    pages.setGridHeight(2);
    EXPECT_EQ(pages.lastVisiblePage(), 4);
    // Columns as wide as their widest page, rows as high as their highest.
    EXPECT_EQ(pages.totalSize(), QSizeF(100 + 120, 150 + 200));
    EXPECT_EQ(pages.pageRect(2), QRectF(100, 0, 120, 90));
    EXPECT_EQ(pages.pageRect(3), QRectF(0, 150, 80, 200));
    EXPECT_EQ(pages.pageRect(4), QRectF(100, 150, 10, 10));
    EXPECT_TRUE(pages.pageRect(5).isNull());
    ASSERT_TRUE(pages.setPage(4));
    EXPECT_EQ(pages.lastVisiblePage(), 5);
    EXPECT_EQ(pages.totalSize(), QSizeF(20, 10));
    pages.setGridWidth(0);  // at least one column
    EXPECT_EQ(pages.gridWidth(), 1);
}

}  // namespace
