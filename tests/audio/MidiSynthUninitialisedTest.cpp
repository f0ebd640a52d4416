// A synthesizer whose SoundFont never loaded (a fresh process-wide instance).
#include "AudioFixtures.h"
#include "audio/AudioBuffer.h"
#include "audio/midi/MidiSynth.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

TEST(MidiSynthWithoutSoundFont, NotASoundFontIsThreeAndLaterRendersAreOne)
{
    QTemporaryDir dir;
    QFile fake(dir.filePath("fake.sf2"));
    ASSERT_TRUE(fake.open(QIODevice::WriteOnly));
    fake.write(QByteArray(1000, 'q'));
    fake.close();
    LogCapture::instance().clear();
    EXPECT_EQ(MidiSynth::instance()->initialize(fake.fileName()), 3);
    EXPECT_TRUE(LogCapture::instance().contains(fake.fileName() + QStringLiteral(" is not a soundfont")));
    EXPECT_FALSE(MidiSynth::instance()->isInitialized());
    EXPECT_EQ(MidiSynth::instance()->initialize(dir.filePath("absent.sf2")), 3);

    QFile midi(dir.filePath("a.mid"));
    ASSERT_TRUE(midi.open(QIODevice::WriteOnly));
    midi.write(AudioFixtures::midiFile({60}));
    midi.close();
    AudioBuffer buffer(2, 0, 44100);
    EXPECT_EQ(MidiSynth::instance()->renderToAudioBuffer(midi.fileName(), buffer), 1);
    EXPECT_EQ(buffer.getSampleCount(), 0);
    EXPECT_EQ(MidiSynth::instance()->renderToPcmFile(midi.fileName(), dir.filePath("x.raw")), 1);
}
