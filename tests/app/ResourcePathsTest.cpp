#include "app/shell/ResourcePaths.h"

#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

const QString kContent = QStringLiteral(BRISOLA_SOURCE_DIR "/content");
const QString kBuiltResource = QStringLiteral(BRISOLA_BINARY_DIR "/Resources/course.dat");

// zq-main lines of one run, text after the channel column.
QStringList mainLines()
{
    QStringList out;
    for (const QString& line : LogCapture::instance().lines()) {
        const int at = line.indexOf(QLatin1String("zq-main    "));
        if (at >= 0)
            out << line.mid(at + 11).trimmed();
    }
    return out;
}

class ResourcePathsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        ASSERT_TRUE(QDir(root.path()).mkpath("bin"));
        exeDir = root.path() + "/bin";
        LogCapture::instance().clear();
        AssertRecorder::clear();
    }
    // An installed layout around exeDir whose Resources folder holds the given resource file.
    void install(const QString& courseDat)
    {
        ASSERT_TRUE(QDir(root.path()).mkpath("Resources"));
        ASSERT_TRUE(QFile::copy(courseDat, root.path() + "/Resources/course.dat"));
    }

    QTemporaryDir root;
    QString exeDir;
};

TEST_F(ResourcePathsTest, InstalledLayoutReadsEverythingFromCourseDat)
{
    install(kBuiltResource);
    const ResourcePaths p = ResourcePaths::locate(exeDir, kContent, kBuiltResource, {"brisola"});
    const QString res = exeDir + "/../Resources/";
    EXPECT_EQ(p.resourcePath, res);
    EXPECT_EQ(p.binResourcePath, res + "/course.dat");
    EXPECT_EQ(p.qmlPath, ":/qml");
    EXPECT_EQ(p.qmlPluginPath, exeDir + "/plugins");
    EXPECT_EQ(p.fontsPath, ":/fonts");
    EXPECT_EQ(p.coursePath, ":/qml/content");
    EXPECT_EQ(p.coursePluginPath, ":/qml/content/lms");
    EXPECT_EQ(p.scorePath, res + "/score");
    EXPECT_EQ(p.soundFontPath, res + "/VessaGM6mb.sf2");
    EXPECT_EQ(AssertRecorder::count(), 0) << AssertRecorder::messages().join(", ").toStdString();

    // The registered file holds the content tree: main screen, splash, course, plug-ins and fonts.
    for (const char* path : {":/qml/main.qml", ":/qml/images/splash.png", ":/qml/content/lms/ImitationQuestion.json",
                             ":/fonts/guido2.ttf", ":/fonts/DejaVuSans.ttf"})
        EXPECT_TRUE(QFile::exists(QString::fromLatin1(path))) << path;
    EXPECT_TRUE(QDir(":/qml/content").entryList(QDir::Dirs | QDir::NoDotAndDotDot).contains("00_grade_1"));

    EXPECT_EQ(mainLines(), QStringList({"binary data file: " + res + "/course.dat", "resource path: " + res,
                                        "qml path: :/qml", "fonts path: :/fonts", "course path: :/qml/content",
                                        "course content type: binary", "course plugin path: :/qml/content/lms"}));
}

struct DevCase {
    const char* name;
    bool useBin;
};
void PrintTo(const DevCase& c, std::ostream* os)
{
    *os << c.name;
}

class DevelopmentTree : public ResourcePathsTest, public ::testing::WithParamInterface<DevCase> {};

TEST_P(DevelopmentTree, ContentComesFromTheSourceTreeOrTheBuiltFile)
{
    const bool useBin = GetParam().useBin;
    QStringList args{"brisola", "--log-console"};
    if (useBin)
        args << "--use-bin-resources";
    const ResourcePaths p = ResourcePaths::locate(exeDir, kContent, kBuiltResource, args);

    EXPECT_EQ(p.resourcePath, kContent + "/install");
    EXPECT_EQ(p.binResourcePath, useBin ? kBuiltResource : QString());
    EXPECT_EQ(p.qmlPath, useBin ? ":/qml" : kContent + "/qml");
    EXPECT_EQ(p.qmlPluginPath, useBin ? exeDir + "/plugins" : kContent + "/qml/plugins");
    EXPECT_EQ(p.fontsPath, useBin ? ":/fonts" : kContent + "/fonts");
    EXPECT_EQ(p.coursePath, useBin ? ":/qml/content" : kContent + "/qml/content");
    // plug-in descriptions always come from the source tree here
    EXPECT_EQ(p.coursePluginPath, kContent + "/qml/content/lms");
    EXPECT_TRUE(p.scorePath.isEmpty());
    EXPECT_EQ(p.soundFontPath, kContent + "/install/VessaGM6mb.sf2");
    EXPECT_TRUE(QFile::exists(p.soundFontPath));
    EXPECT_EQ(AssertRecorder::count(), 0) << AssertRecorder::messages().join(", ").toStdString();

    const QStringList lines = mainLines();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.first(), "not running in an installed bundled; using default resource paths.");
    EXPECT_TRUE(lines.contains(QString("course content type: ") + (useBin ? "binary" : "raw")));
    EXPECT_EQ(lines.contains("binary data file: " + kBuiltResource), useBin);
}

INSTANTIATE_TEST_SUITE_P(Shell, DevelopmentTree,
                         ::testing::Values(DevCase{"Raw", false}, DevCase{"UseBinResources", true}),
                         [](const ::testing::TestParamInfo<DevCase>& info) { return std::string(info.param.name); });

TEST_F(ResourcePathsTest, MissingFoldersAndBadResourceFileAreReportedInOrder)
{
    // An installed layout whose resource file is not one, and a development tree with no content.
    QFile bad(root.path() + "/garbage.dat");
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("not a resource file");
    bad.close();
    install(bad.fileName());
    ResourcePaths::locate(exeDir, root.path(), kBuiltResource, {"brisola"});
    EXPECT_EQ(AssertRecorder::expressions().value(0), "QResource::registerResource(binResourcePath)");
    EXPECT_EQ(AssertRecorder::messages().value(0), "unable to load binary resources");

    AssertRecorder::clear();
    QTemporaryDir empty;
    const QString devExe = empty.path() + "/bin";
    ResourcePaths::locate(devExe, empty.path(), kBuiltResource, {"brisola"});
    EXPECT_EQ(AssertRecorder::messages(),
              QStringList({"resource path does not exist.", "qml path does not exist.", "fonts path does not exist.",
                           "course path does not exist.", "course plugin path does not exist."}));
    EXPECT_EQ(AssertRecorder::expressions().value(0), "0");
}

}  // namespace
