#include "LmsFixtures.h"

using namespace lmstest;

// The registry is process-wide: every case loads its own directory first. "registry" holds
// question and attribute type descriptions, a broken one, and files that register nothing.
class Plugins : public ::testing::Test {
protected:
    void SetUp() override
    {
        captureMessages();
        Lms::loadPlugins(fixture(QStringLiteral("registry")));
    }
    const QString t = QStringLiteral("Interval");
};

TEST_F(Plugins, TypesByFileNameSortedByCodeUnits)
{
    EXPECT_EQ(Lms::getTypeList(), QStringList({"B", "Bad", "Interval", "a"}));
    EXPECT_TRUE(Lms::hasAttributeTypePlugin(QStringLiteral("NoteRange")));
    // Every json file is named, also those that register nothing.
    EXPECT_EQ(LogCapture::instance().linesContaining(QStringLiteral("pluginPath:")).size(), 7);
    // A broken description still registers its type, with a warning and no defaults.
    EXPECT_TRUE(LmsMetadata::getMetadata(QStringLiteral("Bad")).isError());
    EXPECT_FALSE(LmsMetadata::hasDefaultValue(QStringLiteral("Bad"), QStringLiteral("x")));
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("invalid question plug-in description")));
}

TEST_F(Plugins, DescriptionGivesAttributeTypesAndDefaults)
{
    // Only entries with a type declare an attribute; "_type" always does.
    EXPECT_EQ(LmsMetadata::getDefaultAttributeMap(t).keys(), QStringList({"_type", "range", "tempo"}));
    EXPECT_EQ(LmsMetadata::getDefaultValue(t, QStringLiteral("tempo")).toInt(), 120);
    EXPECT_EQ(LmsMetadata::getAttributeType(t, QStringLiteral("tempo")), QStringLiteral("Integer"));

    // A later load drops the types but keeps what their descriptions declared.
    Lms::loadPlugins(fixture(QStringLiteral("registry/does-not-exist")));
    EXPECT_TRUE(Lms::getTypeList().isEmpty());
    EXPECT_FALSE(LmsMetadata::hasMetadata(t));
    EXPECT_EQ(LmsMetadata::getAttributeType(t, QStringLiteral("tempo")), QStringLiteral("Integer"));
}
