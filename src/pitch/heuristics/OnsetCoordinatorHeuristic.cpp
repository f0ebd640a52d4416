#include "pitch/heuristics/OnsetCoordinatorHeuristic.h"

#include "debug/Debugging.h"
#include "pitch/heuristics/AveragingHeuristic.h"

#include <algorithm>
#include <cmath>

namespace {
// How long after a run began it is taken without an onset: any onset would have come by then.
constexpr double kOnsetLatency = 0.2;
// The shortest run taken without an onset (the shortest notes sung are 0.13 s).
constexpr double kShortestRun = 0.1;
// How long a new pitch is held, out of another, before it is taken without an onset: a vibrato's
// swing leaves it sooner.
constexpr double kHeldStep = 0.25;
// The same for the expected note: a step of 0.25 s to it holds it only 0.21 s before the next
// note's results. Another pitch held that briefly may be the right pitch of a note already taken
// misread at its onset (a subharmonic), and would be one note too many.
constexpr double kHeldExpectedStep = 0.2;
// A repeat's onset this far or more before the repeat is due, rising no more than 12 dB (a surge
// is given as 12 dB; the picker's attack out of a gap rises more), may be the held note's own dip
// coming back.
constexpr double kEarlyRepeat = 0.1;
constexpr double kStruckRise = PitchDetector::OnsetInfo::kStruckRise;
// An onset no note took, inside an averaged note up to this many look-aheads before its end, is
// spurious; nearer the end it may be the next note's (its onset may lie a look-ahead before its run,
// and the averaging ends a note up to a look-ahead late).
constexpr double kSpuriousBeforeEnd = 2.0;
// Two notes' onsets lie at least this share of the melody's interval apart: a learner rushes a note,
// but not to a fifth of its length; an onset sooner is the last note's scoop or swell.
constexpr double kShortestInterval = 0.2;
} // namespace

OnsetCoordinatorHeuristic::OnsetCoordinatorHeuristic(PitchDetector* detector, double lookAhead, double lookBack)
    : PitchDetectionHeuristic(detector, QStringLiteral("OnsetCoordinatorHeuristic")), m_lookAhead(lookAhead),
      m_lookBack(lookBack), m_lastOnsetIndex(-1), mp_averaging(nullptr)
{
    reset();
}

void OnsetCoordinatorHeuristic::prepare()
{
    for (PitchDetectionHeuristic* heuristic : mp_detector->m_heuristics) {
        if (AveragingHeuristic* averaging = dynamic_cast<AveragingHeuristic*>(heuristic)) {
            mp_averaging = averaging;
            break;
        }
    }
}

void OnsetCoordinatorHeuristic::reset()
{
    m_lastOnsetIndex = -1;
}

void OnsetCoordinatorHeuristic::removeSpuriousOnsets()
{
    if (!mp_averaging)
        return;
    const QList<PitchDetector::NoteInfo>& history = mp_averaging->history();
    QVector<PitchDetector::OnsetInfo>& onsets = mp_detector->m_onsets;
    for (int h = history.size() - 2; h >= 0; --h) {
        const PitchDetector::NoteInfo& entry = history[h];
        for (int i = onsets.size() - 1; i >= 0; --i) {
            if (onsets[i].noteInfo.note != Pitch::NONE)
                break;
            const double t = onsets[i].time;
            if (entry.offset <= t && t < entry.offset + entry.duration - kSpuriousBeforeEnd * m_lookAhead) {
                LOG_TRACE("pitch-hrstic", "removing onset %d (%.2lf)", i, t);
                onsets.remove(i);
            }
        }
    }
}

// The melody repeats the note just taken and the onset found lies well before the repeat is due:
// a recorded voice's level dips and comes back inside a held note like an attack, and the strike
// may follow. The repeat belongs to the onset nearest its time among those heard inside the run;
// while that one is still early, the note waits for another (a learner who sings early has no
// second onset: the note is dated at the one heard, once the wait is over).
bool OnsetCoordinatorHeuristic::repeatStruck(int& found, int k, const PitchDetector::NoteInfo& note) const
{
    const QList<PitchDetector::NoteInfo>& expected = mp_detector->m_expectedNotes;
    const PitchDetector::NoteInfo& due = expected[k];
    // How long the melody holds the repeat: to the next note, or as long as the note before it.
    const double length = k + 1 < expected.size() ? expected[k + 1].offset - due.offset
                          : k > 0                 ? due.offset - expected[k - 1].offset
                                                  : 0.0;
    const QVector<PitchDetector::OnsetInfo>& onsets = mp_detector->m_onsets;
    if (onsets[found].time >= due.offset - kEarlyRepeat || onsets[found].rise > kStruckRise)
        return true;
    const double end = note.offset + note.duration;
    for (int i = found + 1; i < onsets.size(); ++i) {
        const double t = onsets[i].time;
        if (onsets[i].rise > 0.0 && t <= end && std::fabs(t - due.offset) < std::fabs(onsets[found].time - due.offset))
            found = i;
    }
    const double at = onsets[found].time;
    // The wait ends when the repeat is due, or when a note sung from the early onset on would end.
    if (at < due.offset - kEarlyRepeat && end < std::min(due.offset + m_lookAhead, at + length)) {
        LOG_TRACE("pitch-hrstic", "onset %d (%.2lf) early for the repeat due at %.2lf; waiting", found, at, due.offset);
        return false;
    }
    return true;
}

bool OnsetCoordinatorHeuristic::process(PitchDetector::NoteInfo& note)
{
    BRISOLA_ASSERT(mp_detector->getOnsetDetectionStrategy());
    QVector<PitchDetector::OnsetInfo>& onsets = mp_detector->m_onsets;
    removeSpuriousOnsets();

    // A note sung again is struck again: a legato step (no rise) before it is a slow, wide vibrato's
    // swing read as a step, and tied to it the repeat would take the place of the next note.
    const QVector<PitchDetector::NoteInfo>& taken = mp_detector->m_notes;
    const bool again = !taken.isEmpty() && taken.last().note == note.note;
    int found = -1;
    for (int i = onsets.size() - 1; i > m_lastOnsetIndex && i >= 0; --i) {
        const double t = onsets[i].time;
        if (again && onsets[i].rise <= 0.0)
            continue;
        if (note.offset - m_lookBack <= t && t <= note.offset + m_lookAhead) {
            found = i;
            LOG_TRACE("pitch-hrstic", "closest onset is %d (%.2lf)", i, t);
            break;
        }
    }

    if (found < 0) {
        // The averaging dates a run from its first agreeing results, and the vibrato of the note
        // before may already read as the new pitch: the run then begins before the new note's
        // onset. An onset inside the run, up to its newest result, is the note's own; the earliest,
        // so that a repeat's later onset stays for the repeat.
        const double end = note.offset + note.duration;
        for (int i = m_lastOnsetIndex + 1; i < onsets.size(); ++i) {
            const double t = onsets[i].time;
            if (again && onsets[i].rise <= 0.0)
                continue;
            if (t > note.offset + m_lookAhead && t <= end) {
                found = i;
                LOG_TRACE("pitch-hrstic", "onset %d (%.2lf) inside the run", i, t);
                break;
            }
        }
    }

    const QList<PitchDetector::NoteInfo>& expected = mp_detector->m_expectedNotes;
    const int k = mp_detector->m_expectedIndex;
    if (found >= 0 && again && k >= 0 && k < expected.size() && expected[k].note == note.note &&
        !repeatStruck(found, k, note))
        return false;
    // A repeat stands on what sounds after its onset: the note still sounding over another pitch's
    // attack, or held on through it, is no repeat.
    if (found >= 0 && again && mp_averaging && mp_averaging->soundsFrom(onsets[found].time, note.note) <= 0) {
        LOG_TRACE("pitch-hrstic", "onset %d (%.2lf) is no repeat of %s", found, onsets[found].time, Pitch::noteToStr(note.note));
        return false;
    }
    if (found >= 0) {
        if (m_lastOnsetIndex >= 0 && k > 0 && k < expected.size() && m_lastOnsetIndex < onsets.size()) {
            const double minDelta = kShortestInterval * (expected[k].offset - expected[k - 1].offset);
            const double dt = onsets[found].time - onsets[m_lastOnsetIndex].time;
            LOG_TRACE("pitch-hrstic", "time since last onset = %.2lf; minDelta=%lf", dt, minDelta);
            if (dt < minDelta) {
                LOG_TRACE("pitch-hrstic", "not enough time elapsed since last onset; rejecting note");
                return false;
            }
        }
        m_lastOnsetIndex = found;
        LOG_TRACE("pitch-hrstic", "associated onset %d (%.2lf)", found, onsets[found].time);
        // The onset dates the note: the run the averaging found may begin late (an unvoiced or off
        // result in the attack) or early (a repeated pitch still in the window). The end stays.
        const double end = note.offset + note.duration;
        note.offset = onsets[found].time;
        note.duration = end > note.offset ? end - note.offset : 0.0;
        onsets[found].noteInfo = note;
        return true;
    }

    // A run of one steady pitch that begins from silence is an attack the onset detector did not
    // hear (a quiet high vowel in room noise): refused, every later note would be graded against
    // the one before it. It waits until any onset would have come (the detector waits 0.1 s for the
    // peak of a slow rise), which then dates the note. Otherwise a note without an onset of its own
    // is never matched to an expected note: a vibrato excursion or the tail of the last note would
    // take the place of the next one.
    // The silence lies after the last note taken began: the run is not that note's own. Not for the
    // note sung again: a held note's level dipping near a room floor risen over a long phrase reads
    // as such a silence, and the repeat would be taken there, far from its own strike.
    const double since = taken.isEmpty() ? -1.0 : taken.last().offset;
    if (!again && note.duration >= kShortestRun && mp_averaging && mp_averaging->steadyAfterSilence(note, since, kOnsetLatency)) {
        LOG_TRACE("pitch-hrstic", "no onset; the run begins from silence at %.2lf", note.offset);
        return true;
    }
    // A legato step the onset detector did not hear (a recorded voice's next note, struck while the
    // last one's release still sounds, reads as their common subharmonic until the release fades): a
    // new pitch held throughout for a quarter of a second. A vibrato's swing or a scoop leaves it
    // sooner. A run begun before the last note taken is the note before that one still in the
    // window, not a step after it.
    const bool expectedStep = k >= 0 && k < expected.size() && expected[k].note == note.note;
    if (!taken.isEmpty() && taken.last().note != note.note && note.offset > taken.last().offset &&
        note.duration >= (expectedStep ? kHeldExpectedStep : kHeldStep) && mp_averaging &&
        mp_averaging->heldThroughout(note)) {
        LOG_TRACE("pitch-hrstic", "no onset; a new pitch held from %.2lf", note.offset);
        return true;
    }
    LOG_TRACE("pitch-hrstic", "no onset within range");
    return false;
}
