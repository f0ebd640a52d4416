#pragma once

#include "debug/Debugging.h"
#include "score/Score.h"

#include <gtest/gtest.h>

// Scores need the score layer set up once per process (engine, syllable sounds).
class ScoreTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // the score's progress lines are trace lines
        Debugging::setLoggingLevel(QsLogging::TraceLevel);
        Score::initialize(QString(), false);
    }
};

// Pitches of a score's note list.
inline QList<int> pitchesOf(const Score& score)
{
    QList<int> out;
    for (const Score::NoteInfo& n : score.noteList())
        out << n.note;
    return out;
}
