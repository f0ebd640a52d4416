#include "LmsFixtures.h"
#include "support/Watchdog.h"

#include <functional>

#include <sys/stat.h>

using namespace lmstest;

class Metadata : public ::testing::Test {
protected:
    void SetUp() override { captureMessages(); }
    QTemporaryDir dir;
};

TEST_F(Metadata, DefaultObjectMatchesItsResourceAndIsFreshEachTime)
{
    LmsMetadata::getDefaultObject().property(QStringLiteral("properties")).setProperty(QStringLiteral("elementName"), 1);
    const QByteArray resource = readFile(QStringLiteral(":/json/Default.json"));
    EXPECT_EQ(resource.size(), 148);
    EXPECT_EQ(LmsMetadata::toString(LmsMetadata::getDefaultObject()).toUtf8(), resource);  // two-space indent, "[]", no final newline
}

TEST_F(Metadata, ReadsStrictJsonOnly)
{
    // through JSON.parse of Debian's json2.js, compiled into the resources
    EXPECT_EQ(readFile(QStringLiteral(":/json/Json.js")), readFile(QStringLiteral("/usr/share/javascript/json/json2.js")));
    // Script that is not JSON is refused, never run: no hang, no side effect.
    const char* const scripts[] = {
        "{a: 1}",
        "{\"a\": 'x'}",
        "(function(){ while (true) {} })()",
        "this.ranByCourseFile = 1",
        "{\"a\": 1} ; this.ranByCourseFile = 2",
    };
    for (const char* script : scripts)
        EXPECT_TRUE(LmsMetadata::fromString(QString::fromLatin1(script)).isError()) << script;
    EXPECT_FALSE(LmsMetadata::engine()->globalObject().property(QStringLiteral("ranByCourseFile")).isValid());
    EXPECT_FALSE(LmsMetadata::engine()->hasUncaughtException());
}

TEST_F(Metadata, FileIsReadUpToNul)
{
    const QString path = dir.filePath(QStringLiteral("m.json"));
    static const char bytes[] = "{\"k\": \"v\u00e9\"}\0garbage";  // "\u00e9" is two bytes
    ASSERT_TRUE(writeFile(path, QByteArray(bytes, sizeof bytes - 1)));
    EXPECT_EQ(LmsMetadata::fromFile(path).property(QStringLiteral("k")).toString(), QString::fromUtf8("v\u00e9"));
    // a missing file warns once and gives an invalid value, not an error
    const QString absent = dir.filePath(QStringLiteral("absent.json"));
    EXPECT_FALSE(LmsMetadata::fromFile(absent).isValid());
    const QStringList warned = LogCapture::instance().linesContaining(QStringLiteral("Can not load JSON object from file:"));
    ASSERT_EQ(warned.size(), 1);
    EXPECT_TRUE(warned[0].contains(QStringLiteral("\"") + absent + QStringLiteral("\"")));
}

TEST_F(Metadata, NoRegularFileOrTooLargeIsRefusedUnread)
{
    const struct { const char* name; std::function<bool(const QString&)> make; } cases[] = {
        // opening a FIFO waits for a writer for good
        {"fifo", [](const QString& path) { return mkfifo(QFile::encodeName(path).constData(), 0600) == 0; }},
        {"directory", [](const QString& path) { return QDir().mkdir(path); }},
        {"oversized", [](const QString& path) {
             QFile file(path);
             return file.open(QIODevice::WriteOnly) && file.resize(LmsMetadata::MaxFileSize + 1);
         }},
    };
    Watchdog watchdog(20000, "reading odd metadata files");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QLatin1String(c.name));
        ASSERT_TRUE(c.make(path));
        LogCapture::instance().clear();
        EXPECT_FALSE(LmsMetadata::fromFile(path).isValid());
        EXPECT_EQ(LogCapture::instance().linesContaining(QStringLiteral("not a regular file")).size(), 1);
    }
}

TEST_F(Metadata, WritesAndReplacesFiles)
{
    const QString path = dir.filePath(QStringLiteral("out.json"));
    QScriptValue object = LmsMetadata::fromString(QStringLiteral("{\"b\": 1, \"a\": {\"x\": true}}"));
    ASSERT_EQ(LmsMetadata::toFile(object, path), LmsMetadata::StatusOk);

    // A value without JSON text (a cycle, nothing) fails and leaves the file as it was.
    const QByteArray kept = readFile(path);
    QScriptValue cyclic = LmsMetadata::engine()->newObject();
    cyclic.setProperty(QStringLiteral("self"), cyclic);
    for (const QScriptValue& unwritable : {cyclic, QScriptValue()}) {
        EXPECT_EQ(LmsMetadata::toFile(unwritable, path), LmsMetadata::StatusFailed);
        EXPECT_EQ(readFile(path), kept);
    }
    EXPECT_FALSE(LmsMetadata::engine()->hasUncaughtException());

    EXPECT_EQ(LmsMetadata::toFile(object, dir.filePath(QStringLiteral("missing/out.json"))), LmsMetadata::StatusFailed);
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("Can not save JSON object to file:")));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList({"out.json"}));  // no temporary left behind
}
