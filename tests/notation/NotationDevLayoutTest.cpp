#include "notation/NotationEngine.h"
#include "notation/NotationPainter.h"
#include "notation/NotationResources.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>

namespace {

TEST(NotationDevLayoutTest, EngineFontAndHostComeFromTheDevelopmentLocation)
{
    ASSERT_FALSE(QDir(QCoreApplication::applicationDirPath() + "/../Resources").exists());
    const QString dev = QStringLiteral(BRISOLA_NOTATION_DEV_DIR);
    EXPECT_EQ(NotationResources::scoreAssetsDirectory(), dev);
    EXPECT_EQ(NotationResources::engineDirectory(), dev + "/engine");
    EXPECT_TRUE(QFile::exists(NotationResources::fontFile()));
    EXPECT_TRUE(NotationResources::registerFont());

    NotationPainter painter;
    ASSERT_TRUE(painter.setGMNCode("[ c d e f ]"));
    EXPECT_EQ(painter.pageCount(), 1);
}

}  // namespace
