// Rendering MIDI files through the installed General MIDI SoundFont.
#include "AudioFixtures.h"
#include "audio/AudioBuffer.h"
#include "audio/midi/MidiSynth.h"
#include "support/LogCapture.h"
#include "support/Watchdog.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <cmath>

namespace {

using namespace AudioFixtures;

QString soundFont()
{
    return QStringLiteral(BRISOLA_BINARY_DIR "/Resources/VessaGM6mb.sf2");
}

class MidiRender : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFile::exists(soundFont())) << "the build installs the SoundFont";
        ASSERT_EQ(MidiSynth::instance()->initialize(soundFont()), 0);
        LogCapture::instance().clear();
    }
    QString writeMidi(const QString& name, const QVector<int>& notes)
    {
        EXPECT_TRUE(writeBytes(m_dir.filePath(name), midiFile(notes)));
        return m_dir.filePath(name);
    }
    QTemporaryDir m_dir;
};

TEST_F(MidiRender, MelodyComesOutAtItsPitchesAndTempo)
{
    const QString midi = writeMidi("melody.mid", {60, 64, 67, 72});
    AudioBuffer buffer(2, 0, 44100);
    ASSERT_EQ(MidiSynth::instance()->renderToAudioBuffer(midi, buffer), 0);
    // Four quarters at 120 bpm last 2 s; the release tail follows.
    EXPECT_GT(buffer.duration(), 2.0);
    EXPECT_LT(buffer.duration(), 8.0);
    EXPECT_EQ(buffer.getSampleCount() % 2, 0);
    const double expected[] = {261.6, 329.6, 392.0, 523.3};
    for (int n = 0; n < 4; ++n) {
        const QVector<short> note = channelOf(buffer, 0, n * 0.5 + 0.05, n * 0.5 + 0.45);
        EXPECT_GT(rms(note.constData(), note.size()), 300.0) << n;
        // The piano's strongest partial is its fundamental or the octave above.
        const double hz = dominantFrequency(note, 44100, 200, 1100);
        const double ratio = hz / expected[n];
        EXPECT_TRUE(std::abs(ratio - 1.0) < 0.02 || std::abs(ratio - 2.0) < 0.04) << n << ": " << hz << " Hz";
    }
}

TEST_F(MidiRender, RendersAppendAndEachUsesItsOwnPlayer)
{
    const QString midi = writeMidi("one.mid", {69});
    AudioBuffer buffer(2, 0, 44100);
    ASSERT_EQ(MidiSynth::instance()->renderToAudioBuffer(midi, buffer), 0);
    const int once = buffer.getSampleCount();
    ASSERT_GT(once, 44100);
    ASSERT_EQ(MidiSynth::instance()->renderToAudioBuffer(midi, buffer), 0);
    EXPECT_NEAR(buffer.getSampleCount(), 2 * once, 2 * 64 * 2);
    const double start = double(once / 2) / 44100;
    const QVector<short> second = channelOf(buffer, 0, start + 0.05, start + 0.4);
    EXPECT_NEAR(dominantFrequency(second, 44100, 300, 600), 440, 9);
}

TEST_F(MidiRender, MissingForeignOrDamagedFilesFailAndAppendNothing)
{
    const QByteArray whole = midiFile({60});
    QByteArray hugeTrack = whole;
    hugeTrack.replace(18, 4, QByteArray::fromHex("7fffffff"));
    const struct { const char* name; QByteArray bytes; } cases[] = {
        {"missing", QByteArray()},  // not written
        {"foreign", QByteArray(200, 'z')},
        {"header only", whole.left(14)},
        {"cut inside the track", whole.left(whole.size() - 5)},
        {"track length 0x7fffffff", hugeTrack},
        {"junk after MThd", "MThd" + QByteArray(200, 'z')},
    };
    AudioBuffer buffer(2, 0, 44100);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = m_dir.filePath(QString("%1.mid").arg(c.name));
        if (!c.bytes.isEmpty()) {
            ASSERT_TRUE(writeBytes(file, c.bytes));
        }
        EXPECT_EQ(MidiSynth::instance()->renderToAudioBuffer(file, buffer), 4);
        EXPECT_EQ(buffer.getSampleCount(), 0);
    }
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("could not add")));
    // The synthesizer survives a failed render.
    EXPECT_EQ(MidiSynth::instance()->renderToAudioBuffer(writeMidi("ok.mid", {60}), buffer), 0);
    EXPECT_GT(buffer.getSampleCount(), 0);
}

TEST_F(MidiRender, NoteThatNeverEndsIsCutAfterTheReleaseTail)
{
    // An organ note left on: the player would wait for it to die away for ever.
    QByteArray held = midiFile({60});
    held.replace(held.indexOf(QByteArray::fromHex("00c000")), 3, QByteArray::fromHex("00c013"));
    held.replace(held.indexOf(QByteArray::fromHex("803c00")), 3, QByteArray::fromHex("903e64"));
    ASSERT_TRUE(writeBytes(m_dir.filePath("held.mid"), held));
    Watchdog watchdog(20000, "rendering a note that never ends");
    AudioBuffer buffer(2, 0, 44100);
    ASSERT_EQ(MidiSynth::instance()->renderToAudioBuffer(m_dir.filePath("held.mid"), buffer), 0);
    EXPECT_NEAR(buffer.duration(), 0.5 + 5.0, 0.01);  // the file's length and the 5 s tail
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("rendering stopped there")));
    EXPECT_EQ(MidiSynth::instance()->renderToPcmFile(m_dir.filePath("held.mid"), m_dir.filePath("held.raw")), 0);
    EXPECT_NEAR(QFile(m_dir.filePath("held.raw")).size() / 4 / 44100.0, 5.5, 0.01);
}

}  // namespace
