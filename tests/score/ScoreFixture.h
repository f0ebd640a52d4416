#pragma once

#include "audio/AudioMarkerRegion.h"
#include "audio/AudioOutputRegion.h"
#include "audio/AudioSequencer.h"
#include "audio/midi/MidiSynth.h"
#include "debug/Debugging.h"
#include "score/Score.h"
#include "score/ScoreNoteInfo.h"
#include "score/metronome/Metronome.h"
#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <QFile>
#include <algorithm>
#include <gtest/gtest.h>


// Scores need the score layer set up once per process (engine, syllable sounds).
class ScoreTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Debugging::setLoggingLevel(QsLogging::TraceLevel);  // the score's progress lines are trace lines
        Score::initialize(QString(), false);
    }
    void SetUp() override
    {
        AssertRecorder::clear();
        LogCapture::instance().clear();
    }
    static int logged(const QString& needle) { return LogCapture::instance().linesContaining(needle).size(); }
};

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

// count equal notes c1 of length 1/denom from 0, in seconds at tempo 100 (a quarter is 0.6 s).
inline QList<ScoreNoteInfo> evenNotes(int count, int denom)
{
    QList<ScoreNoteInfo> list;
    for (int i = 0; i < count; ++i) {
        ScoreNoteInfo info;
        info.note = 0;
        info.octave = 1;
        info.guidoTimeSegment = {NotationDate(i, denom), NotationDate(i + 1, denom)};
        info.timeSegment = {2.4 * i / denom, 2.4 * (i + 1) / denom};
        list << info;
    }
    return list;
}

// The timeline a score laid, sorted by position: "tick@0", "tock@0.6", "v1@0.5" (the talking
// metronome's numbers), "score@3.4" (the rendered score), "c:&@0.3" and "s:Do@0" (syllables).
inline QStringList timelineOf(const AudioSequencer& sequencer)
{
    QList<QPair<double, QString>> items;
    for (const AudioOutputRegion* region : sequencer.outputRegions()) {
        QString name = region->ownsBuffer() ? "score" : "?";
        for (int i = 0; i < 8; ++i)
            if (region->buffer() == Metronome::soundBuffer(i))
                name = i == 0 ? "tick" : i == 1 ? "tock" : QString("v%1").arg(i - 1);
        for (auto it = Score::rhythmSyllables().begin(); it != Score::rhythmSyllables().end(); ++it)
            if (region->buffer() == it.value())
                name = "c:" + it.key();
        for (auto it = Score::solfegeSyllables().begin(); it != Score::solfegeSyllables().end(); ++it)
            if (region->buffer() == it.value())
                name = "s:" + it.key();
        items << qMakePair(region->position(), name + "@" + QString::number(region->position(), 'g', 6));
    }
    std::sort(items.begin(), items.end(), [](const auto& a, const auto& b) {
        return a.first < b.first - 1e-9 || (a.first < b.first + 1e-9 && a.second < b.second);
    });
    QStringList out;
    for (const auto& item : items)
        out << item.second;
    return out;
}
// Markers as "id@position" (the end marker is -1).
inline QStringList markersOf(const AudioSequencer& sequencer)
{
    QStringList out;
    for (const AudioMarkerRegion* m : sequencer.markerRegions())
        out << QString("%1@%2").arg(m->id()).arg(QString::number(m->position(), 'g', 6));
    return out;
}
