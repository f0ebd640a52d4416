#include "lms/LmsMetadata.h"

#include "LmsTestSupport.h"

#include <gtest/gtest.h>

#include <QScriptEngine>
#include <QTemporaryDir>

using namespace lmstest;

class Metadata : public ::testing::Test {
protected:
    void SetUp() override { captureMessages(); }
    QTemporaryDir dir;
};

TEST_F(Metadata, DefaultObjectMatchesItsResourceAndIsFreshEachTime)
{
    QScriptValue a = LmsMetadata::getDefaultObject();
    QScriptValue b = LmsMetadata::getDefaultObject();
    ASSERT_TRUE(a.isObject());
    a.property(QStringLiteral("properties")).setProperty(QStringLiteral("elementName"), QStringLiteral("Changed"));
    EXPECT_EQ(b.property(QStringLiteral("properties")).property(QStringLiteral("elementName")).toString(),
              QStringLiteral("Undefined"));
    EXPECT_EQ(b.property(QStringLiteral("properties")).property(QStringLiteral("elementType")).toString(),
              QStringLiteral("Undefined"));
    EXPECT_EQ(b.property(QStringLiteral("questions")).property(QStringLiteral("length")).toInt32(), 0);

    const QByteArray resource = readFile(QStringLiteral(":/json/Default.json"));
    EXPECT_EQ(resource.size(), 148);
    EXPECT_EQ(LmsMetadata::toString(b).toUtf8(), resource);  // two-space indent, "[]", no final newline
}

TEST_F(Metadata, ReadsStrictJsonOnly)
{
    // through JSON.parse of Debian's json2.js, compiled into the resources
    EXPECT_EQ(readFile(QStringLiteral(":/json/Json.js")), readFile(QStringLiteral("/usr/share/javascript/json/json2.js")));
    EXPECT_EQ(LmsMetadata::fromString(QStringLiteral("\n  {\"a\": [1, \"x\"]}\t\n")).property(QStringLiteral("a"))
                  .property(1).toString(), QStringLiteral("x"));
    // Script that is not JSON is refused, never run: no hang, no side effect.
    const char* const scripts[] = {
        "{a: 1}",
        "{\"a\": 'x'}",
        "(function(){ while (true) {} })()",
        "this.ranByCourseFile = 1",
        "{\"a\": 1} ; this.ranByCourseFile = 2",
    };
    for (const char* script : scripts) {
        const QScriptValue value = LmsMetadata::fromString(QString::fromLatin1(script));
        EXPECT_TRUE(value.isError()) << script;
    }
    EXPECT_FALSE(LmsMetadata::engine()->globalObject().property(QStringLiteral("ranByCourseFile")).isValid());
    EXPECT_FALSE(LmsMetadata::engine()->hasUncaughtException());
}

TEST_F(Metadata, FileIsReadUpToNul)
{
    const QString path = dir.filePath(QStringLiteral("m.json"));
    static const char bytes[] = "{\"k\": \"v\u00e9\"}\0garbage";  // "\u00e9" is two bytes
    ASSERT_TRUE(writeFile(path, QByteArray(bytes, sizeof bytes - 1)));
    const QScriptValue value = LmsMetadata::fromFile(path);
    ASSERT_TRUE(value.isObject());
    EXPECT_EQ(value.property(QStringLiteral("k")).toString(), QString::fromUtf8("v\u00e9"));
    // a missing file warns once and gives an invalid value, not an error
    const QString absent = dir.filePath(QStringLiteral("absent.json"));
    EXPECT_FALSE(LmsMetadata::fromFile(absent).isValid());
    EXPECT_EQ(LogCapture::instance().linesContaining(QStringLiteral("Can not load JSON object from file:")).size(), 1);
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("\"") + absent + QStringLiteral("\"")));
}

TEST_F(Metadata, WritesAndReplacesFiles)
{
    const QString path = dir.filePath(QStringLiteral("out.json"));
    QScriptValue object = LmsMetadata::fromString(QStringLiteral("{\"b\": 1, \"a\": {\"x\": true}}"));
    ASSERT_EQ(LmsMetadata::toFile(object, path), LmsMetadata::StatusOk);
    EXPECT_EQ(readFile(path), QByteArray("{\n  \"b\": 1,\n  \"a\": {\n    \"x\": true\n  }\n}"));
    object.setProperty(QStringLiteral("b"), 2);
    ASSERT_EQ(LmsMetadata::toFile(object, path), LmsMetadata::StatusOk);
    EXPECT_EQ(LmsMetadata::fromFile(path).property(QStringLiteral("b")).toInt32(), 2);

    // A value without JSON text (a cycle) fails and leaves the file as it was.
    const QByteArray kept = readFile(path);
    QScriptValue cyclic = LmsMetadata::engine()->newObject();
    cyclic.setProperty(QStringLiteral("self"), cyclic);
    EXPECT_EQ(LmsMetadata::toFile(cyclic, path), LmsMetadata::StatusFailed);
    EXPECT_EQ(readFile(path), kept);
    EXPECT_EQ(LmsMetadata::toFile(QScriptValue(), path), LmsMetadata::StatusFailed);
    EXPECT_EQ(readFile(path), kept);
    EXPECT_FALSE(LmsMetadata::engine()->hasUncaughtException());

    const QString nowhere = dir.filePath(QStringLiteral("missing/out.json"));
    EXPECT_EQ(LmsMetadata::toFile(object, nowhere), LmsMetadata::StatusFailed);
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("Can not save JSON object to file:")));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("missing"))));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList({"out.json"}));  // no temporary left behind
}
