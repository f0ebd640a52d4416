// What the audio libraries print while they probe devices is held and handed back, never shown.
#include "audio/AlsaMessages.h"
#include "audio/StdioCapture.h"
#include "debug/Debugging.h"
#include "support/LogCapture.h"

#include <alsa/error.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <unistd.h>

namespace {

struct Case {
    const char* name;
    std::function<void()> print;
    QStringList expected;
};

TEST(StdioCapture, HoldsBothStreamsAndGivesBackTheirLines)
{
    const Case cases[] = {
        {"standard output", [] { std::printf("one\n"); }, {"one"}},
        {"standard error", [] { std::fprintf(stderr, "ALSA lib pcm.c: Unknown PCM\n"); }, {"ALSA lib pcm.c: Unknown PCM"}},
        // a library's own write() reaches the descriptor without stdio's buffer
        {"raw descriptor", [] { (void)!write(STDERR_FILENO, "jack server is not running\n", 27); },
         {"jack server is not running"}},
        {"blank lines dropped, last line unterminated",
         [] { std::printf("a\n\n"); std::fflush(stdout); std::fprintf(stderr, "b"); }, {"a", "b"}},
        {"nothing printed", [] {}, {}},
    };
    for (const Case& c : cases) {
        StdioCapture outer;  // what leaks past the capture under test
        ASSERT_TRUE(outer.capturing());
        QStringList held;
        {
            StdioCapture capture;
            c.print();
            held = capture.finish();
            EXPECT_TRUE(capture.finish().isEmpty()) << c.name << ": a second finish has nothing";
        }
        std::printf("after\n");  // the descriptors are back: this one reaches the outer capture
        const QStringList leaked = outer.finish();  // before a failure message can be printed
        EXPECT_EQ(held, c.expected) << c.name;
        EXPECT_EQ(leaked, QStringList{"after"}) << c.name;
    }
}

TEST(StdioCapture, DestructionPutsTheStreamsBack)
{
    StdioCapture outer;
    {
        StdioCapture dropped;
        std::fprintf(stderr, "held\n");
    }
    std::fprintf(stderr, "shown\n");
    EXPECT_EQ(outer.finish(), QStringList{"shown"});
}

// ALSA's complaints after start-up (an underrun it recovered from, on the audio thread) go to the log
TEST(StdioCapture, AlsaMessagesGoToTheLogNotToTheTerminal)
{
    AlsaMessages::sendToLog();
    Debugging::setLoggingLevel(QsLogging::DebugLevel);
    LogCapture::instance().clear();
    StdioCapture printed;
    snd_lib_error("pcm.c", 8570, "snd_pcm_recover", 0, "%s occurred", "underrun");
    const QStringList shown = printed.finish();
    Debugging::setLoggingLevel(QsLogging::InfoLevel);
    EXPECT_EQ(shown, QStringList());
    EXPECT_EQ(LogCapture::instance().linesContaining("ALSA lib pcm.c:8570:(snd_pcm_recover) underrun occurred").size(), 1);
}

}  // namespace
