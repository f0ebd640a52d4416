#include "score/Score.h"

#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// The one-time set-up of the score layer, in its own process (it runs once per process).

TEST(ScoreSetup, MissingAndBrokenSoundsAreReportedAndSkipped)
{
    QTemporaryDir assets;
    ASSERT_TRUE(QDir(assets.path()).mkpath("sounds"));
    const QString source = QStringLiteral(BRISOLA_SOURCE_DIR) + "/content/score/sounds/";
    for (const QString& name : QDir(source).entryList({"*.ogg"})) {
        if (name != "counting-trip.ogg") {
            ASSERT_TRUE(QFile::copy(source + name, assets.path() + "/sounds/" + name));
        }
    }
    QFile broken(assets.path() + "/sounds/solfege-La.ogg");
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
    broken.write("not a sound");
    broken.close();

    AssertRecorder::clear();
    LogCapture::instance().clear();
    EXPECT_FALSE(Score::isInitialized());
    Score::initialize(assets.path(), true);
    EXPECT_TRUE(Score::isInitialized());
    // no font there nor in the current directory
    EXPECT_TRUE(LogCapture::instance().contains("guido2.ttf does not exist; attempting to load from current directory."));
    EXPECT_EQ(AssertRecorder::expressions(),
              QStringList({"QFile(fontFilePath).exists()", "rc != -1", "QFile(filePath).exists()",
                           "rc == AudioFormats::StatusSuccess", "rc == AudioFormats::StatusSuccess"}));
    EXPECT_EQ(Score::rhythmSyllables().size(), 12);
    EXPECT_FALSE(Score::rhythmSyllables().contains("trip"));
    EXPECT_EQ(Score::solfegeSyllables().size(), 7);
    EXPECT_FALSE(Score::solfegeSyllables().contains("La"));
    AssertRecorder::clear();
    Score::initialize(QString(), false);  // later calls change nothing
    EXPECT_EQ(AssertRecorder::count(), 0);
    EXPECT_EQ(Score::rhythmSyllables().size(), 12);

    // freed at clean-up; the next set-up loads the banks again
    Score::cleanup();
    EXPECT_FALSE(Score::isInitialized());
    EXPECT_TRUE(Score::rhythmSyllables().isEmpty() && Score::solfegeSyllables().isEmpty());
    Score::initialize(QString(), false);
    EXPECT_EQ(Score::rhythmSyllables().size() + Score::solfegeSyllables().size(), 13 + 8);
}
