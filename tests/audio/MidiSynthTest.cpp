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

class MidiRender : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString soundFont = QStringLiteral(BRISOLA_BINARY_DIR "/Resources/VessaGM6mb.sf2");
        ASSERT_TRUE(QFile::exists(soundFont)) << "the build installs the SoundFont";
        ASSERT_EQ(MidiSynth::instance()->initialize(soundFont), 0);
        LogCapture::instance().clear();
    }
    QString writeMidi(const QString& name, const QByteArray& bytes)
    {
        EXPECT_TRUE(writeBytes(m_dir.filePath(name), bytes));
        return m_dir.filePath(name);
    }
    QTemporaryDir m_dir;
};

TEST_F(MidiRender, MelodyComesOutAtItsPitchesAndTempoAndRendersAppend)
{
    const QString midi = writeMidi("melody.mid", midiFile({60, 64, 67, 72}));
    AudioBuffer buffer(2, 0, 44100);
    ASSERT_EQ(MidiSynth::instance()->renderToAudioBuffer(midi, buffer), 0);
    // Four quarters at 120 bpm last 2 s; the release tail follows.
    const double once = buffer.duration();
    EXPECT_GT(once, 2.0);
    EXPECT_LT(once, 8.0);
    // A second render appends with a player of its own, from the start of the file.
    ASSERT_EQ(MidiSynth::instance()->renderToAudioBuffer(midi, buffer), 0);
    EXPECT_NEAR(buffer.duration(), 2 * once, 0.003);
    const double expected[] = {261.6, 329.6, 392.0, 523.3};
    for (int n = 0; n < 8; ++n) {
        const double start = n / 4 * once + n % 4 * 0.5;
        const QVector<short> note = channelOf(buffer, 0, start + 0.05, start + 0.45);
        EXPECT_GT(rms(note.constData(), note.size()), 300.0) << n;
        // The piano's strongest partial is its fundamental or the octave above.
        const double ratio = dominantFrequency(note, 44100, 200, 1100) / expected[n % 4];
        EXPECT_TRUE(std::abs(ratio - 1.0) < 0.02 || std::abs(ratio - 2.0) < 0.04) << n << ": " << ratio;
    }
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
    EXPECT_EQ(MidiSynth::instance()->renderToAudioBuffer(writeMidi("ok.mid", whole), buffer), 0);
    EXPECT_GT(buffer.getSampleCount(), 0);
}

TEST_F(MidiRender, NoteThatNeverEndsIsCutAfterTheReleaseTail)
{
    // An organ note left on: the player would wait for it to die away for ever.
    QByteArray held = midiFile({60});
    held.replace(held.indexOf(QByteArray::fromHex("00c000")), 3, QByteArray::fromHex("00c013"));
    held.replace(held.indexOf(QByteArray::fromHex("803c00")), 3, QByteArray::fromHex("903e64"));
    const QString midi = writeMidi("held.mid", held);
    Watchdog watchdog(20000, "rendering a note that never ends");
    AudioBuffer buffer(2, 0, 44100);
    ASSERT_EQ(MidiSynth::instance()->renderToAudioBuffer(midi, buffer), 0);
    EXPECT_NEAR(buffer.duration(), 0.5 + 5.0, 0.01);  // the file's length and the 5 s tail
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("rendering stopped there")));
    EXPECT_EQ(MidiSynth::instance()->renderToPcmFile(midi, m_dir.filePath("held.raw")), 0);
    EXPECT_NEAR(QFile(m_dir.filePath("held.raw")).size() / 4 / 44100.0, 5.5, 0.01);
}

}  // namespace
