#include "score/RuvexGuidoScoreBrowser.h"

#include "debug/Debugging.h"

static const char* const kChannel = "score";

namespace {
struct NameEntry {
    const char* name;
    int note;
};
const NameEntry mappingTable[12] = {{"c", 0},  {"c#", 1}, {"d", 2},  {"d#", 3}, {"e", 4},   {"f", 5},
                                    {"f#", 6}, {"g", 7},  {"g#", 8}, {"a", 9},  {"a#", 10}, {"b", 11}};
} // namespace

RuvexGuidoScoreBrowser::RuvexGuidoScoreBrowser(QList<ScoreNoteInfo>* notes)
    : m_notes(notes)
{
}

void RuvexGuidoScoreBrowser::tieEvent(bool startsRange)
{
    if (startsRange)
        m_lastTiedNote = 12;
    m_tiePending = true;
}

bool RuvexGuidoScoreBrowser::roomFor()
{
    if (m_index < m_notes->size())
        return true;
    LOG_FATAL(kChannel, "note/octave list exceeds offset list (%d >= %d)", m_index, int(m_notes->size()));
    return false;
}

void RuvexGuidoScoreBrowser::rest()
{
    if (!roomFor())
        return;
    (*m_notes)[m_index].note = 12;
    (*m_notes)[m_index].octave = 0;
    ++m_index;
}

void RuvexGuidoScoreBrowser::skip()
{
    if (roomFor())
        ++m_index;
}

bool RuvexGuidoScoreBrowser::soundingPitch(const QString& name, int accidentals, int octave, int* note,
                                           int* soundingOctave)
{
    for (const NameEntry& entry : mappingTable) {
        if (name == QLatin1String(entry.name)) {
            // semitones from the c of the written octave; an accidental may cross into the next octave
            const int semitones = entry.note + accidentals;
            const int octaveShift = semitones >= 0 ? semitones / 12 : -((-semitones + 11) / 12);
            *note = semitones - 12 * octaveShift;
            *soundingOctave = octave + octaveShift;
            return true;
        }
    }
    return false;
}

void RuvexGuidoScoreBrowser::note(const QString& name, int accidentals, int octave)
{
    if (name.isEmpty())
        return;
    if (!roomFor())
        return;

    int pitch = 12;
    int soundingOctave = octave;
    if (!soundingPitch(name, accidentals, octave, &pitch, &soundingOctave)) {
        pitch = 12;
        Debugging::doAssert("note != Pitch::NONE", __FILE__, __LINE__, nullptr);
    }

    if (!m_tiePending) {
        m_lastTiedNote = 12;
    } else {
        m_tiePending = false;
        if (m_lastTiedNote == 12)
            m_lastTiedNote = pitch;
        else if (m_lastTiedNote == pitch)
            pitch = 12; // continues the tied note
        else
            m_lastTiedNote = 12;
    }

    (*m_notes)[m_index].note = pitch;
    (*m_notes)[m_index].octave = soundingOctave;
    ++m_index;
}
