#pragma once

#include "ScoreFixture.h"

#include "audio/AudioMarkerRegion.h"
#include "audio/AudioOutputRegion.h"
#include "audio/AudioSequencer.h"
#include "audio/midi/MidiSynth.h"
#include "score/metronome/Metronome.h"

#include <QFile>

// Sequencing needs the synthesizer with the General MIDI SoundFont.
class SequenceTest : public ScoreTest {
protected:
    static void SetUpTestSuite()
    {
        ScoreTest::SetUpTestSuite();
        QString soundFont = QStringLiteral(BRISOLA_BINARY_DIR) + "/Resources/VessaGM6mb.sf2";
        if (!QFile::exists(soundFont))
            soundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";
        if (!MidiSynth::instance()->isInitialized())
            MidiSynth::instance()->initialize(soundFont);
    }
};

// Positions of the output regions playing one of the metronome's sounds.
inline QList<double> beatPositions(const AudioSequencer& sequencer, QList<int>* sounds = nullptr)
{
    QList<double> out;
    for (const AudioOutputRegion* region : sequencer.outputRegions()) {
        for (int i = 0; i < 8; ++i) {
            if (region->buffer() == Metronome::soundBuffer(i)) {
                out << region->position();
                if (sounds)
                    *sounds << i;
            }
        }
    }
    return out;
}

// The regions owning their buffer: the rendered score.
inline QList<const AudioOutputRegion*> renderedRegions(const AudioSequencer& sequencer)
{
    QList<const AudioOutputRegion*> out;
    for (const AudioOutputRegion* region : sequencer.outputRegions())
        if (region->ownsBuffer())
            out << region;
    return out;
}

inline QList<QPair<int, double>> markersOf(const AudioSequencer& sequencer)
{
    QList<QPair<int, double>> out;
    for (const AudioMarkerRegion* m : sequencer.markerRegions())
        out << qMakePair(m->id(), m->position());
    return out;
}

inline void expectPositions(const QList<double>& actual, const QList<double>& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        EXPECT_NEAR(actual[i], expected[i], 1e-9) << "entry " << i;
}
