#include "pitch/heuristics/AveragingHeuristic.h"

#include "debug/Debugging.h"

AveragingHeuristic::AveragingHeuristic(PitchDetector* detector, int windowSize, int minCount)
    : PitchDetectionHeuristic(detector, QStringLiteral("AveragingHeuristic")), m_windowSize(windowSize),
      m_minCount(minCount == 0 ? static_cast<int>(windowSize * 0.4) : minCount), m_expectedWeight(2.0)
{
}

void AveragingHeuristic::reset()
{
    m_window.clear();
    m_lastNote = PitchDetector::NoteInfo();
    // History from an earlier capture runs on that capture's clock and would delete the onsets
    // of this one.
    m_history.clear();
}

bool AveragingHeuristic::getMostFrequentNoteInWindow(Pitch::Note& note, int& octave, double& frequency) const
{
    const QList<PitchDetector::NoteInfo>& expected = mp_detector->m_expectedNotes;
    const int k = mp_detector->m_expectedIndex;
    const bool haveExpected = !expected.isEmpty() && k >= 0 && k < expected.size();
    int counts[Pitch::NONE + 1] = {};
    for (const PitchDetector::NoteInfo& entry : m_window) {
        const int weight =
            (haveExpected && entry.note == expected[k].note) ? static_cast<int>(m_expectedWeight) : 1;
        if (entry.note >= 0 && entry.note <= Pitch::NONE)
            counts[entry.note] += weight;
    }
    note = Pitch::NONE;
    int best = -1;
    for (int n = 0; n <= Pitch::NONE; ++n) {
        if (counts[n] >= m_minCount && counts[n] > best) {
            best = counts[n];
            note = static_cast<Pitch::Note>(n);
        }
    }
    if (note == Pitch::NONE) {
        // A short note sung wrong has no expected weight and may not fill half the window, which
        // also holds the silence before it; it is a note all the same when it holds six results and
        // most of the pitched ones, or it would go missing and shift every later grade.
        int raw[Pitch::NONE] = {};
        int pitched = 0;
        for (const PitchDetector::NoteInfo& entry : m_window) {
            if (entry.note >= 0 && entry.note < Pitch::NONE) {
                ++raw[entry.note];
                ++pitched;
            }
        }
        for (int n = 0; n < Pitch::NONE; ++n) {
            if (raw[n] >= m_minCount * 3 / 4 && 2 * raw[n] > pitched)
                note = static_cast<Pitch::Note>(n);
        }
    }
    octave = 0;
    frequency = -1.0;
    if (note == Pitch::NONE)
        return true;

    int octaveCounts[8] = {};
    for (const PitchDetector::NoteInfo& entry : m_window) {
        if (entry.note == note && entry.octave >= 0 && entry.octave <= 7)
            ++octaveCounts[entry.octave];
    }
    for (int o = 1; o < 8; ++o) {
        if (octaveCounts[o] > octaveCounts[octave])
            octave = o;
    }
    double sum = 0.0;
    int count = 0;
    for (const PitchDetector::NoteInfo& entry : m_window) {
        if (entry.note == note && entry.octave == octave) {
            sum += entry.frequency;
            ++count;
        }
    }
    if (count == 0)
        return false; // a mean over nothing
    frequency = sum / count;
    return true;
}

int AveragingHeuristic::findFirst(Pitch::Note note) const
{
    for (int i = 0; i < m_window.size() - 3; ++i) {
        if (m_window[i].note == note && m_window[i + 1].note == note && m_window[i + 2].note == note)
            return i;
    }
    return -1;
}

int AveragingHeuristic::findLast(Pitch::Note note) const
{
    for (int j = m_window.size() - 1; j >= 2; --j) {
        if (m_window[j].note == note && m_window[j - 1].note == note)
            return j;
    }
    return -1;
}

bool AveragingHeuristic::process(PitchDetector::NoteInfo& note)
{
    m_window.append(note);
    if (m_window.size() < m_windowSize) {
        LOG_TRACE("pitch-hrstic", "window is too small");
        return false;
    }
    const bool accepted = evaluate(note);
    if (!m_window.isEmpty())
        m_window.removeFirst();
    return accepted;
}

bool AveragingHeuristic::evaluate(PitchDetector::NoteInfo& note)
{
    Pitch::Note winner = Pitch::NONE;
    int octave = 0;
    double frequency = -1.0;
    const bool counted = getMostFrequentNoteInWindow(winner, octave, frequency);
    LOG_TRACE("pitch-hrstic", "most frequent note is %s%d", Pitch::noteToStr(winner), octave);
    if (winner == Pitch::NONE) {
        m_lastNote = PitchDetector::NoteInfo();
        return false;
    }
    if (!counted)
        return false;
    const int first = findFirst(winner);
    const int last = findLast(winner);
    if (first < 0 || last < 0)
        return false;

    const QList<PitchDetector::NoteInfo>& expected = mp_detector->m_expectedNotes;
    const int k = mp_detector->m_expectedIndex;
    double start = m_window[first].offset;
    const bool melodyRepeats = k >= 1 && k < expected.size() && expected[k].note == expected[k - 1].note;
    if (!melodyRepeats && m_lastNote.note == winner)
        start = m_lastNote.offset; // the same pitch class continues the earlier note

    note.frequency = frequency;
    note.note = winner;
    note.octave = octave;
    note.offset = start;
    note.duration = m_window[last].offset - start;

    QVector<PitchDetector::NoteInfo>& accepted = mp_detector->m_notes;
    if (!accepted.isEmpty() && accepted.last().note == winner)
        accepted.last().duration = note.duration;
    if (m_history.isEmpty() || m_history.last().note != winner) {
        m_history.append(note);
    } else {
        m_history.last().offset = start;
        m_history.last().duration = note.duration;
    }

    for (int i = 0; i < first; ++i)
        m_window.removeFirst();
    m_lastNote = note;
    return true;
}
