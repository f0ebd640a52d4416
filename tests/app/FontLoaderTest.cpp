#include "app/shell/FontLoader.h"

#include "debug/Debugging.h"
#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

const QString kFont = QStringLiteral(BRISOLA_SOURCE_DIR "/content/fonts/DejaVuSans.ttf");

TEST(FontLoader, TriesTtfAndOtfOnlyGoesOnAfterARejectedFileAndAssertsAMissingFolder)
{
    QTemporaryDir tmp;
    QDir dir(tmp.path());
    ASSERT_TRUE(QFile::copy(kFont, dir.filePath("ui.ttf")));
    ASSERT_TRUE(QFile::copy(kFont, dir.filePath("other.otf")));
    ASSERT_TRUE(QFile::copy(kFont, dir.filePath("readme.txt")));  // a font by content: only the count shows it skipped
    ASSERT_TRUE(dir.mkdir("folder.ttf"));
    QFile broken(dir.filePath("broken.ttf"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("not a font");
    broken.close();

    LogCapture::instance().clear();
    AssertRecorder::clear();
    Debugging::setLoggingLevel(QsLogging::DebugLevel);
    EXPECT_EQ(FontLoader::load(tmp.path()), 2);
    Debugging::setLoggingLevel(QsLogging::InfoLevel);
    EXPECT_EQ(AssertRecorder::count(), 0);
    LogCapture& log = LogCapture::instance();
    EXPECT_TRUE(log.contains("failed to load font: " + dir.filePath("broken.ttf")));
    EXPECT_TRUE(log.contains("loaded font: " + dir.filePath("ui.ttf")));
    EXPECT_TRUE(log.contains("loaded font: " + dir.filePath("other.otf")));
    EXPECT_FALSE(log.contains("folder.ttf"));

    EXPECT_EQ(FontLoader::load(QStringLiteral("/nonexistent/fonts")), 0);
    EXPECT_EQ(AssertRecorder::expressions(), QStringList{"fontsDir.exists()"});
    EXPECT_EQ(AssertRecorder::messages(), QStringList{"fonts dir does not exist"});
}

}  // namespace
