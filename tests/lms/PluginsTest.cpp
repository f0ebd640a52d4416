#include "lms/Lms.h"
#include "lms/LmsMetadata.h"
#include "lms/LmsPlugins.h"

#include "LmsTestSupport.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace lmstest;

// The registry is process-wide: every case loads its own directory first.
class Plugins : public ::testing::Test {
protected:
    void SetUp() override { captureMessages(); }
    void add(const QString& name, const QByteArray& content)
    {
        ASSERT_TRUE(writeFile(dir.filePath(name), content));
    }
    QTemporaryDir dir;
};

TEST_F(Plugins, TypeListSortsByCodeUnits)
{
    add(QStringLiteral("BQuestion.json"), "{}");
    add(QStringLiteral("AQuestion.json"), "{}");
    add(QStringLiteral("aQuestion.json"), "{}");
    add(QStringLiteral("NoteRangeAttributeType.json"), "not even read");
    add(QStringLiteral("Question.json"), "{}");
    add(QStringLiteral("ReadMe.json"), "{}");
    add(QStringLiteral("CQuestion.txt"), "{}");
    Lms::loadPlugins(dir.path());
    EXPECT_EQ(Lms::getTypeList(), QStringList({"A", "B", "a"}));
    EXPECT_TRUE(Lms::hasAttributeTypePlugin(QStringLiteral("NoteRange")));
    EXPECT_EQ(Lms::getAttributeTypePlugin(QStringLiteral("NoteRange")), nullptr);
    EXPECT_FALSE(Lms::hasAttributeTypePlugin(QStringLiteral("Range")));
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("LmsPlugins::load(...) :")));
    // Every json file is named, also those that register nothing.
    EXPECT_EQ(LogCapture::instance().linesContaining(QStringLiteral("pluginPath:")).size(), 6);
    EXPECT_FALSE(LmsPlugins::hasMetadata(QString()));
}

TEST_F(Plugins, DescriptionGivesAttributeTypesAndDefaults)
{
    add(QStringLiteral("IntervalQuestion.json"),
        "{\"_type\": \"Interval\", \"tempo\": {\"type\": \"Integer\", \"default\": 120},"
        " \"range\": {\"type\": \"NoteRange\"}, \"note\": \"plain text\", \"n\": 4, \"empty\": {\"type\": \"\"}}");
    Lms::loadPlugins(dir.path());
    const QString t = QStringLiteral("Interval");
    EXPECT_TRUE(LmsMetadata::hasMetadata(t));
    EXPECT_EQ(LmsMetadata::getMetadata(t).property(QStringLiteral("n")).toInt32(), 4);
    EXPECT_TRUE(LmsMetadata::hasDefaultValue(t, QStringLiteral("_type")));
    EXPECT_TRUE(LmsMetadata::hasDefaultValue(t, QStringLiteral("range")));
    EXPECT_FALSE(LmsMetadata::getDefaultValue(t, QStringLiteral("range")).isValid());
    EXPECT_EQ(LmsMetadata::getDefaultValue(t, QStringLiteral("tempo")).toInt(), 120);
    EXPECT_EQ(LmsMetadata::getAttributeType(t, QStringLiteral("tempo")), QStringLiteral("Integer"));
    EXPECT_EQ(LmsMetadata::getAttributeType(t, QStringLiteral("_type")), QString());
    for (const char* ignored : {"note", "n", "empty"})
        EXPECT_FALSE(LmsMetadata::hasDefaultValue(t, QString::fromLatin1(ignored))) << ignored;
    EXPECT_EQ(LmsMetadata::getDefaultAttributeMap(t).keys(), QStringList({"_type", "range", "tempo"}));

    // An unknown type gets an empty entry and still declares nothing.
    EXPECT_TRUE(LmsMetadata::getDefaultAttributeMap(QStringLiteral("Nope")).isEmpty());
    EXPECT_FALSE(LmsMetadata::hasDefaultValue(QStringLiteral("Nope"), QStringLiteral("_type")));
    EXPECT_FALSE(LmsMetadata::hasMetadata(QStringLiteral("Nope")));
}

TEST_F(Plugins, LaterLoadKeepsDefaultsButDropsTypes)
{
    add(QStringLiteral("KeepQuestion.json"), "{\"k\": {\"type\": \"Boolean\", \"default\": true}}");
    Lms::loadPlugins(dir.path());
    QTemporaryDir other;
    ASSERT_TRUE(writeFile(QDir(other.path()).filePath(QStringLiteral("OtherQuestion.json")), "{}"));
    Lms::loadPlugins(other.path());
    EXPECT_EQ(Lms::getTypeList(), QStringList({"Other"}));
    EXPECT_FALSE(LmsMetadata::hasMetadata(QStringLiteral("Keep")));
    EXPECT_TRUE(LmsMetadata::hasDefaultValue(QStringLiteral("Keep"), QStringLiteral("k")));
    EXPECT_EQ(LmsMetadata::getAttributeType(QStringLiteral("Keep"), QStringLiteral("k")), QStringLiteral("Boolean"));
}

TEST_F(Plugins, BrokenDescriptionRegistersTypeAndWarns)
{
    add(QStringLiteral("BadQuestion.json"), "{\"x\": {\"type\": \"Integer\", default: 1}}");
    Lms::loadPlugins(dir.path());
    EXPECT_EQ(Lms::getTypeList(), QStringList({"Bad"}));
    EXPECT_TRUE(LmsMetadata::getMetadata(QStringLiteral("Bad")).isError());
    EXPECT_FALSE(LmsMetadata::hasDefaultValue(QStringLiteral("Bad"), QStringLiteral("x")));
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("invalid question plug-in description")));

    QTemporaryDir empty;
    Lms::loadPlugins(empty.path() + QStringLiteral("/does-not-exist"));
    EXPECT_TRUE(Lms::getTypeList().isEmpty());
}
