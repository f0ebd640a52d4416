#include "pitch/heuristics/TemporalMaskingHeuristic.h"

#include "debug/Debugging.h"

#include <cmath>

TemporalMaskingHeuristic::TemporalMaskingHeuristic(PitchDetector* detector, double window)
    : PitchDetectionHeuristic(detector, QStringLiteral("TemporalMaskingHeuristic")), m_window(window)
{
}

void TemporalMaskingHeuristic::prepare()
{
    const QList<PitchDetector::NoteInfo>& expectedNoteList = mp_detector->m_expectedNotes;
    BRISOLA_ASSERT(expectedNoteList.count());
    m_entries.clear();
    for (const PitchDetector::NoteInfo& expected : expectedNoteList) {
        Entry entry;
        entry.expected = expected;
        m_entries.append(entry);
    }
    reset();
}

void TemporalMaskingHeuristic::reset()
{
    for (Entry& entry : m_entries) {
        entry.used = false;
        entry.match = PitchDetector::NoteInfo();
    }
}

bool TemporalMaskingHeuristic::process(PitchDetector::NoteInfo& note)
{
    BRISOLA_ASSERT(m_entries.size());
    if (m_entries.isEmpty())
        return false; // nothing to pair with
    Entry& last = m_entries.last();
    const double dt = note.offset - last.expected.offset;
    if (dt > m_window && !last.used && last.match.note != Pitch::NONE) {
        note = last.match;
        last.used = true;
        return true;
    }
    if (note.note == Pitch::NONE)
        return true;
    PitchDetector::NoteInfo match;
    if (!findBestMatch(note, match))
        return false;
    note = match;
    return true;
}

bool TemporalMaskingHeuristic::findBestMatch(const PitchDetector::NoteInfo& note, PitchDetector::NoteInfo& result)
{
    BRISOLA_ASSERT(m_entries.size());
    bool found = false;
    for (Entry& entry : m_entries) {
        if (entry.used)
            continue;
        const double d = std::fabs(note.offset - entry.expected.offset);
        const bool hasMatch = entry.match.note != Pitch::NONE;
        if (d <= m_window && entry.expected.note == note.note) {
            if (hasMatch && std::fabs(entry.match.offset - entry.expected.offset) <= d) {
                entry.used = true;
                result = entry.match;
                found = true;
            } else {
                entry.match = note;
            }
        } else if (d > m_window && hasMatch) {
            entry.used = true;
            result = entry.match;
            found = true;
        }
    }
    return found;
}
