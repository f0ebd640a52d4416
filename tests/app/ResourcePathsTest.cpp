#include "app/shell/ResourcePaths.h"

#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

const QString kContent = QStringLiteral(BRISOLA_SOURCE_DIR "/content");
const QString kBuilt = QStringLiteral(BRISOLA_BINARY_DIR "/Resources/course.dat");

QStringList fields(const ResourcePaths& p)
{
    return {p.resourcePath, p.binResourcePath, p.qmlPath, p.qmlPluginPath, p.fontsPath,
            p.coursePath,   p.coursePluginPath, p.scorePath, p.soundFontPath};
}

// {E} stands for the executable's folder, {R} for {E}/../Resources/, {C} for the content folder and {B}
// for the built resource file.
TEST(ResourcePaths, ThreeLayoutsGiveTheirPathsRegistrationAndContentType)
{
    const struct {
        const char* name;
        bool installed;
        const char* option;
        QStringList expected;
    } layouts[] = {
        {"installed", true, "--log-console",
         {"{R}", "{R}/course.dat", ":/qml", "{E}/plugins", ":/fonts", ":/qml/content", ":/qml/content/lms", "{R}/score",
          "{R}/VessaGM6mb.sf2"}},
        {"development, raw", false, "--log-console",
         {"{C}/install", "", "{C}/qml", "{C}/qml/plugins", "{C}/fonts", "{C}/qml/content", "{C}/qml/content/lms", "",
          "{C}/install/VessaGM6mb.sf2"}},
        {"development, binary", false, "--use-bin-resources",
         {"{C}/install", "{B}", ":/qml", "{E}/plugins", ":/fonts", ":/qml/content", "{C}/qml/content/lms", "",
          "{C}/install/VessaGM6mb.sf2"}},
    };
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.name);
        QTemporaryDir root;
        ASSERT_TRUE(QDir(root.path()).mkpath("bin"));
        const QString exe = root.path() + "/bin";
        if (layout.installed) {
            ASSERT_TRUE(QDir(root.path()).mkpath("Resources"));
            ASSERT_TRUE(QFile::copy(kBuilt, root.path() + "/Resources/course.dat"));
        }
        LogCapture::instance().clear();
        AssertRecorder::clear();
        const ResourcePaths p = ResourcePaths::locate(exe, kContent, kBuilt, {"brisola", layout.option});

        QStringList expected = layout.expected;
        expected.replaceInStrings("{R}", exe + "/../Resources/").replaceInStrings("{C}", kContent);
        expected.replaceInStrings("{E}", exe).replaceInStrings("{B}", kBuilt);
        EXPECT_EQ(fields(p).join('\n').toStdString(), expected.join('\n').toStdString());
        EXPECT_EQ(AssertRecorder::messages(), QStringList());
        EXPECT_EQ(LogCapture::instance().contains("not running in an installed bundled"), !layout.installed);
        EXPECT_TRUE(LogCapture::instance().contains(QString("course content type: ") +
                                                    (p.binResourcePath.isEmpty() ? "raw" : "binary")));
        // a registered file supplies the main screen and the fonts
        if (!p.binResourcePath.isEmpty()) {
            EXPECT_TRUE(QFile::exists(":/qml/main.qml") && QFile::exists(":/fonts/guido2.ttf"));
        }
    }
}

TEST(ResourcePaths, BadResourceFileAndMissingFoldersAreReportedInOrder)
{
    QTemporaryDir root;
    ASSERT_TRUE(QDir(root.path()).mkpath("bin/../Resources"));
    QFile bad(root.path() + "/Resources/course.dat");
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly) && bad.write("not a resource file") > 0);
    bad.close();
    AssertRecorder::clear();
    ResourcePaths::locate(root.path() + "/bin", kContent, kBuilt, {"brisola"});
    EXPECT_EQ(AssertRecorder::expressions().value(0), "QResource::registerResource(binResourcePath)");
    EXPECT_EQ(AssertRecorder::messages().value(0), "unable to load binary resources");

    AssertRecorder::clear();
    QTemporaryDir empty;
    ResourcePaths::locate(empty.path() + "/bin", empty.path(), kBuilt, {"brisola"});
    EXPECT_EQ(AssertRecorder::messages(),
              QStringList({"resource path does not exist.", "qml path does not exist.", "fonts path does not exist.",
                           "course path does not exist.", "course plugin path does not exist."}));
}

}  // namespace
