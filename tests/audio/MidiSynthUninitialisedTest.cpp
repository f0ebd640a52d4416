// A synthesizer whose SoundFont never loaded (a fresh process-wide instance).
#include "AudioFixtures.h"
#include "audio/AudioBuffer.h"
#include "audio/midi/MidiSynth.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

TEST(MidiSynthWithoutSoundFont, NotASoundFontIsThreeAndLaterRendersAreOne)
{
    QTemporaryDir dir;
    const QString fake = dir.filePath("fake.sf2");
    ASSERT_TRUE(AudioFixtures::writeBytes(fake, QByteArray(1000, 'q')));
    LogCapture::instance().clear();
    EXPECT_EQ(MidiSynth::instance()->initialize(fake), 3);
    EXPECT_TRUE(LogCapture::instance().contains(fake + QStringLiteral(" is not a soundfont")));
    EXPECT_FALSE(MidiSynth::instance()->isInitialized());
    EXPECT_EQ(MidiSynth::instance()->initialize(dir.filePath("absent.sf2")), 3);

    const QString midi = dir.filePath("a.mid");
    ASSERT_TRUE(AudioFixtures::writeBytes(midi, AudioFixtures::midiFile({60})));
    AudioBuffer buffer(2, 0, 44100);
    EXPECT_EQ(MidiSynth::instance()->renderToAudioBuffer(midi, buffer), 1);
    EXPECT_EQ(buffer.getSampleCount(), 0);
    EXPECT_EQ(MidiSynth::instance()->renderToPcmFile(midi, dir.filePath("x.raw")), 1);
}
