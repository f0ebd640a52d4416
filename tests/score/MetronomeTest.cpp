#include "score/metronome/Metronome.h"

#include "audio/AudioBuffer.h"
#include "audio/AudioOutputRegion.h"
#include "audio/AudioSequencer.h"

#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

enum { Tick = 0, Tock = 1, VoiceOne = 2 };

// Which bank sound each output region plays, in the order added.
QList<int> soundsOf(const AudioSequencer& sequencer)
{
    QList<int> out;
    for (const AudioOutputRegion* region : sequencer.outputRegions()) {
        int found = -1;
        for (int i = 0; i < 8; ++i)
            if (region->buffer() == Metronome::soundBuffer(i))
                found = i;
        out << found;
    }
    return out;
}

} // namespace

TEST(Metronome, BankHoldsFixedLengthsWithGain)
{
    Metronome metronome;
    ASSERT_TRUE(Metronome::isInitialized());
    for (int i = 0; i < 2; ++i) {
        const AudioBuffer* b = Metronome::soundBuffer(i);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->getSampleCount(), 8820);
        EXPECT_EQ(b->getChannelCount(), 2);
        EXPECT_EQ(b->getSampleRate(), 44100);
    }
    int loudest = 0;
    for (int i = VoiceOne; i < VoiceOne + 6; ++i) {
        const AudioBuffer* b = Metronome::soundBuffer(i);
        EXPECT_EQ(b->getSampleCount(), 44100);
        for (short s : b->getSamples())
            loudest = std::max(loudest, std::abs(int(s)));
    }
    // the voice is scaled by 0.3 and is not silent
    EXPECT_GT(loudest, 3000);
    EXPECT_LE(loudest, int(0.3 * 32768) + 1);
    EXPECT_EQ(Metronome::soundBuffer(8), nullptr);

    // a second metronome does not reload the shared bank
    const QVector<short> before = Metronome::soundBuffer(Tick)->getSamples();
    Metronome second;
    EXPECT_EQ(Metronome::soundBuffer(Tick)->getSampleCount(), 8820);
    EXPECT_EQ(Metronome::soundBuffer(Tick)->getSamples(), before);
}

TEST(Metronome, ModesChooseTheBeatSounds)
{
    Metronome metronome;
    EXPECT_EQ(metronome.mode(), Metronome::ModeMonotone);

    AudioSequencer accented(44100, 2);
    metronome.setMode(Metronome::ModeAccented);
    for (int beat = 0; beat < 4; ++beat)
        metronome.sequenceBeat(accented, beat, 0.6 * beat);
    metronome.sequenceBeat(accented, 0, 2.4);
    EXPECT_EQ(soundsOf(accented), QList<int>({Tick, Tock, Tock, Tock, Tick}));
    ASSERT_EQ(accented.outputRegions().size(), 5);
    EXPECT_DOUBLE_EQ(accented.outputRegions()[4]->position(), 2.4);
    EXPECT_FALSE(accented.outputRegions()[0]->ownsBuffer());

    AudioSequencer monotone(44100, 2);
    metronome.setMode(Metronome::ModeMonotone);
    metronome.sequenceBeat(monotone, 0, 0.0);
    metronome.sequenceBeat(monotone, 1, 0.5);
    EXPECT_EQ(soundsOf(monotone), QList<int>({Tock, Tock}));

    AudioSequencer none(44100, 2);
    metronome.setMode(Metronome::ModeNone);
    metronome.sequenceBeat(none, 0, 0.0);
    EXPECT_TRUE(none.outputRegions().isEmpty());
}

TEST(Metronome, TalkingBeyondSixIsSilentWithOneWarning)
{
    AssertRecorder::clear();
    LogCapture::instance().clear();
    Metronome metronome;
    metronome.setMode(Metronome::ModeTalking);
    AudioSequencer sequencer(44100, 2);
    for (int measure = 0; measure < 2; ++measure)
        for (int beat = 0; beat < 7; ++beat)
            metronome.sequenceBeat(sequencer, beat, measure * 7 + beat);
    EXPECT_EQ(soundsOf(sequencer), QList<int>({2, 3, 4, 5, 6, 7, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(AssertRecorder::count(), 0);
    EXPECT_EQ(LogCapture::instance().linesContaining("talking metronome counts only 6 beats").size(), 1);

    // a mode outside the enumeration is a broken caller
    metronome.setMode(static_cast<Metronome::Mode>(9));
    metronome.sequenceBeat(sequencer, 0, 20.0);
    EXPECT_EQ(AssertRecorder::expressions(), QStringList({"0"}));
    EXPECT_EQ(sequencer.outputRegions().size(), 12);
}

TEST(Metronome, RunOfBeatsNeedsItsCounts)
{
    // nothing sets the counts, so a run reports them and lays nothing
    Metronome metronome;
    AudioSequencer sequencer(44100, 2);
    AssertRecorder::clear();
    metronome.sequence(sequencer, 0.0);
    EXPECT_EQ(AssertRecorder::expressions(), QStringList({"m_beatCount > 0", "m_tempo > 0", "m_beatsPerBar > 0"}));
    EXPECT_TRUE(sequencer.outputRegions().isEmpty());
    EXPECT_DOUBLE_EQ(sequencer.duration(), 0.0);
}
