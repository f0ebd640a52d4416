#include "score/Score.h"

#include "debug/Debugging.h"
#include "score/ScoreAnalyzer.h"

static const char* const kChannel = "score";

// The common checks of the three analyses: a laid-out code with notes.
#define SCORE_ANALYSIS_PRECONDITIONS(name)                                                  \
    LOG_TRACE(kChannel, "[%lu] %s entered...", m_instance, name);                           \
    if (!isLaidOut()) {                                                                     \
        LOG_WARN(kChannel, "[%lu] gmn not valid; bailing out", m_instance);                 \
        return;                                                                             \
    }                                                                                       \
    if (m_noteList.isEmpty()) {                                                             \
        LOG_TRACE(kChannel, "[%lu] score is empty; bailing out", m_instance);               \
        return;                                                                             \
    }

void Score::analyzeMeasures()
{
    SCORE_ANALYSIS_PRECONDITIONS("analyzeMeasures")
    if (ScoreAnalyzer(m_instance, gmnCode()).analyzeMeasures(m_measuresList))
        emit timeSignaturesChanged();
}

void Score::analyzeRhythm()
{
    SCORE_ANALYSIS_PRECONDITIONS("analyzeRhythm")
    if (m_measuresList.isEmpty()) {
        LOG_TRACE(kChannel, "[%lu] measure list is empty; bailing out", m_instance);
        return;
    }
    if (ScoreAnalyzer(m_instance, gmnCode()).analyzeRhythm(m_noteList, m_measuresList, m_countingSyllables))
        emit beatsPerMeasureChanged();
}

void Score::analyzeMelody()
{
    SCORE_ANALYSIS_PRECONDITIONS("analyzeMelody")
    ScoreAnalyzer(m_instance, gmnCode()).analyzeMelody(m_noteList, m_key, scaleType(), m_solfegeSyllableList);
}
