#include "notation/NotationEngine.h"
#include "notation/NotationPainter.h"
#include "notation/NotationResources.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <signal.h>

namespace {

NotationReply load(const QString& code)
{
    return NotationEngine::instance().call("load", {{"code", code}});
}

class NotationEngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        engine.setRequestTimeout(3000);
        ASSERT_TRUE(engine.start());
        LogCapture::instance().clear();
    }
    NotationEngine& engine = NotationEngine::instance();
};

TEST_F(NotationEngineTest, BadRequestsAreRefusedAndTheHostGoesOn)
{
    const qint64 pid = engine.hostProcessId();
    const NotationReply unknownHandle = engine.call("svg", {{"gr", double(1LL << 45)}, {"page", 1}});
    EXPECT_EQ(unknownHandle.status, NotationReply::Refused);
    EXPECT_TRUE(unknownHandle.error.contains("unknown graphic handle"));
    const NotationReply unknownOp = engine.call("dance");
    EXPECT_EQ(unknownOp.status, NotationReply::Refused);
    const NotationReply loaded = load("[ c d ]");
    ASSERT_TRUE(loaded.ok());
    const NotationReply badPage = engine.call("maps", {{"gr", loaded.data.value("gr")}, {"page", 2}, {"voice", 1}});
    EXPECT_EQ(badPage.status, NotationReply::Refused);
    EXPECT_TRUE(badPage.error.contains("out of range"));
    EXPECT_EQ(engine.hostProcessId(), pid);
    engine.call("free", {{"gr", loaded.data.value("gr")}, {"ar", loaded.data.value("ar")}});
}

TEST_F(NotationEngineTest, PageSizesFormatsAndResizeToMusic)
{
    NotationPainter painter;
    ASSERT_TRUE(painter.setGMNCode("[ c d e f g a b c2 ]"));
    ASSERT_EQ(painter.pageCount(), 1);
    const QSizeF a4 = painter.pageSizeMM(1);
    EXPECT_NEAR(a4.width(), 210.0, 0.5);
    EXPECT_NEAR(a4.height(), 297.0, 0.5);
    EXPECT_FALSE(painter.pageSizeMM(2).isValid());

    painter.setResizePageToMusic(true);
    EXPECT_LT(painter.pageSizeMM(1).height(), 100.0);

    NotationPageFormat format = painter.guidoPageFormat();
    format.width /= 2;
    format.height /= 2;
    painter.setGuidoPageFormat(format);
    EXPECT_NEAR(painter.pageSizeMM(1).width(), 105.0, 0.5);
}

TEST_F(NotationEngineTest, SvgOfAPageUsesTheNotationFont)
{
    NotationPainter painter;
    ASSERT_TRUE(painter.setGMNCode("[ \\key<2> c d e f ]"));
    const QByteArray svg = painter.pageSvg(1);
    EXPECT_TRUE(svg.contains("<svg"));
    EXPECT_TRUE(svg.contains("font-family=\"Guido2\""));
    EXPECT_FALSE(svg.contains("@font-face"));  // not embedded
    EXPECT_TRUE(painter.pageSvg(2).isEmpty());
    painter.setScoreColor(QColor(255, 0, 0));
    const QByteArray red = painter.pageSvg(1);
    EXPECT_TRUE(red.contains("#ff0000"));
    EXPECT_FALSE(red.contains("#000000"));
}

TEST_F(NotationEngineTest, HandlesAreFreedWithTheirPainter)
{
    const NotationReply before = engine.call("handles");
    const int ars = before.data.value("ar").toInt();
    const int grs = before.data.value("gr").toInt();
    {
        NotationPainter a;
        NotationPainter b;
        ASSERT_TRUE(a.setGMNCode("[ c ]"));
        ASSERT_TRUE(b.setGMNCode("[ d ]"));
        ASSERT_TRUE(b.setGMNCode("[ e ]"));  // the old handles of b go
        const NotationReply r = engine.call("handles");
        EXPECT_EQ(r.data.value("ar").toInt(), ars + 2);
        EXPECT_EQ(r.data.value("gr").toInt(), grs + 2);
    }
    const NotationReply r = engine.call("handles");
    EXPECT_EQ(r.data.value("ar").toInt(), ars);
    EXPECT_EQ(r.data.value("gr").toInt(), grs);
}

TEST_F(NotationEngineTest, ADeadOrStuckHostIsReplacedAndItsHandlesAreRefused)
{
    const struct {
        int signal;
        int timeoutMs;
        const char* error;
    } rows[] = {{SIGKILL, 3000, "host died"}, {SIGSTOP, 300, "timed out"}};  // stopped: alive but silent
    for (const auto& r : rows) {
        SCOPED_TRACE(r.error);
        NotationPainter painter;
        ASSERT_TRUE(painter.setGMNCode("[ c d e f ]"));
        const NotationReply before = load("[ g a ]");
        ASSERT_TRUE(before.ok());
        const qint64 pid = engine.hostProcessId();
        engine.setRequestTimeout(r.timeoutMs);
        ASSERT_EQ(::kill(pid_t(pid), r.signal), 0);

        // The request that meets the host reports an engine error within its time-out...
        QElapsedTimer timer;
        timer.start();
        const NotationReply failed = engine.call("handles");
        EXPECT_EQ(failed.status, NotationReply::EngineError);
        EXPECT_TRUE(failed.error.contains(r.error)) << qPrintable(failed.error);
        EXPECT_LT(timer.elapsed(), 2000);
        EXPECT_FALSE(engine.isRunning());

        // ...and the next one runs on a fresh host; the painter lays its code out there again.
        engine.setRequestTimeout(3000);
        EXPECT_TRUE(painter.pageSvg(1).contains("<svg"));
        EXPECT_NE(engine.hostProcessId(), pid);
        NotationMap map;
        EXPECT_EQ(painter.voiceMap(1, QSizeF(100, 100), 1, map), NotationPainter::NoError);
        EXPECT_EQ(map.size(), 4);
        // A handle of the ended host is refused here, never sent to the new host as someone else's.
        const NotationReply stale = engine.call("svg", {{"gr", before.data.value("gr")}, {"page", 1}});
        EXPECT_EQ(stale.status, NotationReply::Refused);
        EXPECT_TRUE(stale.error.contains("stale"));
    }
}

TEST_F(NotationEngineTest, AnEngineAbortEndsItsHostAndTheNextRequestGetsAFreshOne)
{
    // A stand-in engine that aborts as a WebAssembly module does (after which it fails every call).
    QTemporaryDir dir;
    ASSERT_TRUE(QFile::copy(NotationResources::engineDirectory() + "/guido-host.js", dir.path() + "/guido-host.js"));
    QFile fake(dir.path() + "/libGUIDOEngine.js");
    ASSERT_TRUE(fake.open(QIODevice::WriteOnly));
    fake.write(R"(
let aborted = false;
module.exports = () => Promise.resolve({
    GuidoEngineAdapter: function () {
        this.init = () => {};
        this.openParser = () => ({});
        this.getDefaultPageFormat = () => ({ width: 100, height: 100 });
        this.getDefaultLayoutSettings = () => ({});
        this.getVersionStr = () => 'stand-in';
        this.unit2CM = () => 0.1;
        this.string2AR = (parser, code) => {
            if (aborted || code === 'abort') { aborted = true; throw new WebAssembly.RuntimeError('Aborted()'); }
            return {};
        };
    },
    GUIDOScoreMap: function () {},
});
)");
    fake.close();
    engine.stop();
    engine.setEngineDirectory(dir.path());
    ASSERT_TRUE(engine.call("parse", {{"code", "[ c ]"}}).ok());
    const qint64 pid = engine.hostProcessId();

    const NotationReply r = engine.call("parse", {{"code", "abort"}});
    EXPECT_EQ(r.status, NotationReply::EngineError);
    EXPECT_TRUE(r.error.contains("engine aborted")) << qPrintable(r.error);
    EXPECT_TRUE(LogCapture::instance().contains("engine aborted"));
    const NotationReply next = engine.call("parse", {{"code", "[ c ]"}});
    EXPECT_TRUE(next.ok()) << qPrintable(next.error);
    EXPECT_NE(engine.hostProcessId(), pid);

    engine.stop();
    engine.setEngineDirectory(QString());
}

TEST_F(NotationEngineTest, AHostThatCannotStartFailsFastAndIsNotRetriedAtOnce)
{
    QTemporaryDir dir;
    QFile script(dir.path() + "/guido-host.js");
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("setInterval(() => {}, 1000);\n");  // runs, never answers
    script.close();
    const struct {
        QString dir;
        const char* log;
    } rows[] = {{"/nonexistent/engine", "host not found"}, {dir.path(), "no ready line"}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.log);
        engine.stop();
        engine.setEngineDirectory(r.dir);
        engine.setStartTimeout(400);
        engine.setRetryDelay(60000);
        QElapsedTimer timer;
        timer.start();
        NotationPainter painter;
        EXPECT_FALSE(painter.setGMNCode("[ c ]"));
        int line = 0, column = 0;
        EXPECT_EQ(painter.getLastParseErrorLine(line, column), NotationPainter::EngineError);
        EXPECT_LT(timer.elapsed(), 3000);
        EXPECT_TRUE(LogCapture::instance().contains(r.log));
        EXPECT_FALSE(engine.isRunning());
        // Within the retry delay a request fails at once instead of blocking on another start.
        timer.restart();
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(engine.call("handles").status, NotationReply::EngineError);
        EXPECT_LT(timer.elapsed(), 100);
        engine.setStartTimeout(5000);
        engine.setRetryDelay(2000);
        engine.setEngineDirectory(QString());
        EXPECT_TRUE(painter.setGMNCode("[ c ]"));
    }
}

}  // namespace
