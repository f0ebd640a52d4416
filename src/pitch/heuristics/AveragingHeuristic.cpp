#include "pitch/heuristics/AveragingHeuristic.h"

#include "debug/Debugging.h"
#include "pitch/heuristics/PitchQuantizationHeuristic.h"

#include <cmath>

namespace {
// An onset that rose this much was a strike, not a swell or a legato step.
constexpr double kStruckRise = PitchDetector::OnsetInfo::kStruckRise;
// An attack this soon after the taken note's onset is still that note's (a scoop, a swell).
constexpr double kRestrikeGap = 0.1;
// Results of the note since the attack that make it a repeat rather than the attack of a new note
// whose pitch the window has not yet taken up: a recorded voice's release can hold the last note in
// the tracker for 0.2 s into the next one, four results after the tracker's lag.
constexpr int kRestrikeResults = 5;
// A note fading into a silence sags off its pitch for up to this many results, once as many have
// named it (a low voice's short note); off it longer, or back on it after, is another note.
constexpr int kFading = 3;
// The tracker's lag: results this soon after an attack may still name the note before it.
constexpr double kTrackerLag = 0.1;
// Results of the taken note between its onset and the attack: it was sung, not just dated.
constexpr int kSungBefore = 5;
// A short note: its attack and the next lie at most this far apart ...
constexpr double kShortNote = 0.3;
// ... and at least this far: the onset coordinator takes the newest attack within 0.1 s of a note.
constexpr double kShortestNote = 0.11;
// A result is dated at the start of its piece; one that begins just before an attack mostly hears it.
constexpr double kPieceLead = 0.012;
// Results before a run, and how many of them without pitch, for the run to begin from silence: one
// may be the attack's own odd reading; the tracker holds a pitch for a few pieces after it fades.
constexpr int kSilenceLooked = 4;
constexpr int kSilentResults = 3;
// How far towards a neighbour a result still names the expected note: the quantiser's tolerance.
constexpr double kNeighbourReach = 0.8;
// Without a minimum count given, a note needs this share of the window: two results in five,
// more than the silence before a note or a neighbour's results in a scoop hold.
constexpr double kMinShare = 0.4;
// The expected note's results count this many times in the vote: a note sung a little off, its results
// split between it and a neighbour, tips towards what the melody asks for.
constexpr double kExpectedWeight = 2.0;
// A note with no expected weight wins without the minimum count when it holds this many quarters of
// it and most pitched results: a short note sung wrong is a note all the same.
constexpr int kShortWrongShareOf4 = 3;
// Results of a run that must name its note: three in four after a silence (a strike's odd readings
// and a scoop take the rest), seven in eight for a note held throughout (one vibrato's swing).
constexpr int kNamedAfterSilenceOf4 = 3;
constexpr int kNamedThroughoutOf8 = 7;
} // namespace

AveragingHeuristic::AveragingHeuristic(PitchDetector* detector, int windowSize, int minCount)
    : PitchDetectionHeuristic(detector, QStringLiteral("AveragingHeuristic")), m_windowSize(windowSize),
      m_minCount(minCount == 0 ? static_cast<int>(windowSize * kMinShare) : minCount), m_expectedWeight(kExpectedWeight)
{
}

void AveragingHeuristic::reset()
{
    m_window.clear();
    m_recent.clear();
    m_lastNote = PitchDetector::NoteInfo();
    // History from an earlier capture runs on that capture's clock and would delete the onsets
    // of this one.
    m_history.clear();
    m_restruck = false;
    m_takenAtStep = -1;
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
            if (raw[n] >= m_minCount * kShortWrongShareOf4 / 4 && 2 * raw[n] > pitched)
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

void AveragingHeuristic::hearNeighboursAs(Pitch::Note note, int octave, int skipClass)
{
    const int centre = Pitch::midiNote(note, octave);
    const double fC = Pitch::noteToFreq(note, octave);
    // The quantiser's own test, for each neighbour (below, above).
    auto within = [fC](const PitchDetector::NoteInfo& entry, int step) {
        return PitchQuantizationHeuristic::withinReach(entry.frequency, Pitch::noteToFreq(entry.note, entry.octave), fC,
                                                       step > 0, kNeighbourReach);
    };
    bool heardAsCentre[2] = {false, false};
    for (int side = 0; side < 2; ++side) {
        const int step = side == 0 ? -1 : 1;
        if ((centre + step) % 12 == skipClass)
            continue;
        int near = 0;
        int far = 0;
        for (const PitchDetector::NoteInfo& entry : m_window) {
            if (entry.note == Pitch::NONE || Pitch::midiNote(entry.note, entry.octave) != centre + step)
                continue;
            ++(within(entry, step) ? near : far);
        }
        // Most of the neighbour's results lie within reach: a note pulled towards it. A note sung
        // there (a scoop into it, then its own pitch) has most of them beyond.
        heardAsCentre[side] = near > 0 && near >= far;
    }
    if (!heardAsCentre[0] && !heardAsCentre[1])
        return;
    auto rename = [&](PitchDetector::NoteInfo& entry) {
        if (entry.note == Pitch::NONE)
            return;
        const int step = Pitch::midiNote(entry.note, entry.octave) - centre;
        if (((step == -1 && heardAsCentre[0]) || (step == 1 && heardAsCentre[1])) && within(entry, step)) {
            entry.note = note;
            entry.octave = octave;
        }
    };
    for (PitchDetector::NoteInfo& entry : m_window)
        rename(entry);
    for (PitchDetector::NoteInfo& entry : m_recent)
        rename(entry);
}

void AveragingHeuristic::hear()
{
    // Named as read, whatever an earlier expected note heard them as.
    for (PitchDetector::NoteInfo& entry : m_window)
        Pitch::freqToNote(entry.frequency, entry.note, entry.octave);
    for (PitchDetector::NoteInfo& entry : m_recent)
        Pitch::freqToNote(entry.frequency, entry.note, entry.octave);
    const QList<PitchDetector::NoteInfo>& expected = mp_detector->m_expectedNotes;
    const int k = mp_detector->m_expectedIndex;
    if (k < 0 || k >= expected.size() || expected[k].note == Pitch::NONE)
        return;
    // Results around the note just taken are that note going on (its vibrato reaching towards the
    // next note, or towards the note again where the melody repeats it), not the next note begun.
    const QVector<PitchDetector::NoteInfo>& taken = mp_detector->m_notes;
    const PitchDetector::NoteInfo& target = expected[k];
    if (!taken.isEmpty() && taken.last().note == target.note)
        return;
    hearNeighboursAs(target.note, target.octave, taken.isEmpty() ? -1 : static_cast<int>(taken.last().note));
    if (taken.isEmpty())
        return;
    // And a neighbour of the note just taken, not the expected note, within reach of it is that note
    // going on: its release frozen at its vibrato's crest or trough, which the tracker holds over
    // the next note's unsettled first readings, was taken as a note at that note's onset.
    Pitch::Note note = Pitch::NONE;
    int octave = 0;
    Pitch::freqToNote(taken.last().frequency, note, octave); // the octave it was read in
    if (note == taken.last().note)
        hearNeighboursAs(note, octave, static_cast<int>(target.note));
}

double AveragingHeuristic::restrikeTime(Pitch::Note winner) const
{
    const QVector<PitchDetector::NoteInfo>& taken = mp_detector->m_notes;
    if (taken.isEmpty() || taken.last().note != winner || m_window.isEmpty() || m_window.last().note != winner)
        return -1.0;
    // The newest attack not tied to a note, after the taken note's own onset (an earlier one may be
    // the room's, in the silence before the repeat).
    const QVector<PitchDetector::OnsetInfo>& onsets = mp_detector->m_onsets;
    double attack = -1.0;
    int i = onsets.size() - 1;
    for (; i >= 0 && onsets[i].noteInfo.note == Pitch::NONE; --i) {
        if (attack < 0.0 && onsets[i].rise >= kStruckRise && onsets[i].time > taken.last().offset + kRestrikeGap)
            attack = onsets[i].time;
    }
    // The taken note was struck too: one dated by a legato step may be a vibrato's swing read as a
    // step, and the attack after it the repeat the melody held there.
    if (attack < 0.0 || i < 0 || onsets[i].rise < kStruckRise)
        return -1.0;
    // The note taken was sung before the attack (an attack in a tail or in the room soon after a
    // note's onset dated that note, and its repeat would be a note too many). Counted in the longer
    // history: by the time the repeat's results are in, the window may hold only the gap before it.
    int before = 0;
    for (const PitchDetector::NoteInfo& entry : m_recent)
        before += entry.offset >= taken.last().offset && entry.offset < attack && entry.note == winner ? 1 : 0;
    if (before < kSungBefore)
        return -1.0;
    return soundsFrom(attack, winner) > 0 ? attack : -1.0;
}

int AveragingHeuristic::soundsFrom(double attack, Pitch::Note note) const
{
    // The results from a little after the attack lie at the note (in any octave; within the
    // quantiser's reach of it, as a vibrato's crest or a scoop's end does), and enough of them do:
    // the tracker holds its last pitch for up to a tenth of a second into a new note, so the first
    // results after an attack may still name the note before it. One result may lie off it; a
    // second is another note, unless the note is fading into a silence (kFading). A short note
    // ends in a silence: the results at the note before it will do, those in the tracker's lag
    // too, as no note followed.
    const double pitch = Pitch::midiNote(note, 4);
    int early = 0;
    int count = 0;
    int off = 0;
    for (const PitchDetector::NoteInfo& entry : m_recent) {
        if (entry.offset < attack - kPieceLead)
            continue;
        if (entry.note == Pitch::NONE && entry.offset >= attack + kTrackerLag)
            return count + early > 0 ? 1 : -1;
        const bool at = entry.frequency > 0.0 &&
                        std::fabs(std::remainder(69.0 + 12.0 * std::log2(entry.frequency / 440.0) - pitch, 12.0)) <
                            kNeighbourReach;
        if (entry.offset < attack + kTrackerLag) {
            early += at ? 1 : 0;
            continue;
        }
        if (!at && ++off > (count >= kFading ? kFading : 1))
            return -1;
        if (at && off > 1)
            return -1;
        if (at && ++count >= kRestrikeResults)
            return 1;
    }
    return 0;
}

bool AveragingHeuristic::steadyAfterSilence(const PitchDetector::NoteInfo& note, double since, double waited) const
{
    if (m_recent.isEmpty() || m_recent.last().offset < note.offset + waited)
        return false;
    int looked = 0;
    int silent = 0;
    int run = 0;
    int named = 0;
    for (int i = m_recent.size() - 1; i >= 0 && looked < kSilenceLooked; --i) {
        const PitchDetector::NoteInfo& entry = m_recent[i];
        if (entry.offset > note.offset + note.duration + kPieceLead)
            continue; // after the run: the note may have ended
        if (entry.offset >= note.offset - kPieceLead) {
            if (entry.note == Pitch::NONE)
                return false;
            ++run;
            named += entry.note == note.note ? 1 : 0;
            continue;
        }
        if (entry.offset < since)
            return false;
        ++looked;
        silent += entry.note == Pitch::NONE ? 1 : 0;
    }
    return looked == kSilenceLooked && silent >= kSilentResults && 4 * named >= kNamedAfterSilenceOf4 * run;
}

bool AveragingHeuristic::heldThroughout(const PitchDetector::NoteInfo& note) const
{
    int run = 0;
    int named = 0;
    for (int i = m_recent.size() - 1; i >= 0 && m_recent[i].offset >= note.offset - kPieceLead; --i) {
        const PitchDetector::NoteInfo& entry = m_recent[i];
        if (entry.offset > note.offset + note.duration + kPieceLead)
            continue;
        if (entry.note == Pitch::NONE)
            return false;
        ++run;
        named += entry.note == note.note ? 1 : 0;
    }
    return run > 0 && 8 * named >= kNamedThroughoutOf8 * run;
}

double AveragingHeuristic::silenceStart() const
{
    // The newest results all without pitch, the one before them pitched.
    const int n = m_window.size();
    if (n <= kSilenceLooked || m_window[n - kSilenceLooked - 1].note == Pitch::NONE)
        return -1.0;
    for (int i = n - kSilenceLooked; i < n; ++i) {
        if (m_window[i].note != Pitch::NONE)
            return -1.0;
    }
    return m_window[n - kSilenceLooked].offset;
}

bool AveragingHeuristic::takeShortNote(PitchDetector::NoteInfo& note)
{
    const QList<PitchDetector::NoteInfo>& expected = mp_detector->m_expectedNotes;
    const int k = mp_detector->m_expectedIndex;
    const QVector<PitchDetector::OnsetInfo>& onsets = mp_detector->m_onsets;
    if (k < 0 || k >= expected.size() || onsets.isEmpty() || m_window.isEmpty())
        return false;
    const QVector<PitchDetector::NoteInfo>& taken = mp_detector->m_notes;
    auto struck = [&taken](const PitchDetector::OnsetInfo& onset) {
        return onset.rise >= kStruckRise && onset.noteInfo.note == Pitch::NONE &&
               (taken.isEmpty() || onset.time > taken.last().offset);
    };
    // The note ends at the next attack, neither tied to a note, with every result up to it in hand;
    // or, after the newest attack, where a silence begins (a take's last note, or one before a rest),
    // too short for the vote to take it.
    const PitchDetector::OnsetInfo* attack = nullptr;
    double end = -1.0;
    if (onsets.size() >= 2 && struck(onsets[onsets.size() - 2]) && onsets.last().rise >= kStruckRise &&
        onsets.last().noteInfo.note == Pitch::NONE && m_window.last().offset >= onsets.last().time) {
        attack = &onsets[onsets.size() - 2];
        end = onsets.last().time;
    } else if (struck(onsets.last())) {
        attack = &onsets.last();
        end = silenceStart();
    }
    if (!attack || end - attack->time > kShortNote || end - attack->time < kShortestNote)
        return false;
    // Between them, two results in a row name the expected note, or two with no silence between
    // them name it and more than name any other, and no other note has two in a row. The tracker holds the last note's pitch for a
    // few pieces across the attack (a legato short note after a long one): that run is not counted.
    const Pitch::Note want = expected[k].note;
    Pitch::Note previous = Pitch::NONE;
    Pitch::Note tail = Pitch::NONE;
    bool inTail = true;
    bool found = false;
    int octaves[8] = {};
    int counts[Pitch::NONE + 1] = {};
    double sum = 0.0;
    int count = 0;
    bool silentBetween = false; // a result without pitch after the first of the note
    for (const PitchDetector::NoteInfo& entry : m_window) {
        if (entry.offset < attack->time - kPieceLead) {
            tail = entry.note;
            continue;
        }
        if (entry.offset >= end - kPieceLead)
            break;
        inTail = inTail && entry.note == tail && tail != want;
        if (inTail)
            continue;
        // Once the note is heard, results a semitone off are its own pitch sagging as it fades.
        const int off = entry.note == Pitch::NONE ? 0 : (entry.note - want + 12) % 12;
        if (found && (off == 1 || off == 11)) {
            previous = entry.note;
            continue;
        }
        if (entry.note != Pitch::NONE && entry.note == previous) {
            if (entry.note != want)
                return false;
            found = true;
        }
        if (entry.note >= 0 && entry.note <= Pitch::NONE)
            ++counts[entry.note];
        silentBetween = silentBetween || (count > 0 && count < 2 && entry.note == Pitch::NONE);
        if (entry.note == want && entry.octave >= 0 && entry.octave < 8) {
            ++octaves[entry.octave];
            sum += entry.frequency;
            ++count;
        }
        previous = entry.note;
    }
    if (!found && count >= 2 && !silentBetween) {
        found = true;
        for (int n = 0; n < Pitch::NONE; ++n)
            found = found && (n == want || counts[n] < count);
    }
    if (!found)
        return false;
    int octave = 0;
    for (int o = 1; o < 8; ++o) {
        if (octaves[o] > octaves[octave])
            octave = o;
    }
    note.note = want;
    note.octave = octave;
    note.frequency = sum / count;
    note.offset = attack->time;
    note.duration = end - attack->time;
    m_history.append(note);
    m_lastNote = note;
    // What follows starts afresh at the next attack.
    while (!m_window.isEmpty() && m_window.first().offset < end - kPieceLead)
        m_window.removeFirst();
    LOG_TRACE("pitch-hrstic", "short note %s%d at %.2lf", Pitch::noteToStr(want), octave, attack->time);
    return true;
}

bool AveragingHeuristic::process(PitchDetector::NoteInfo& note)
{
    m_restruck = false;
    m_window.append(note);
    m_recent.append(note);
    // A short note struck over the last one's release reads pulled towards it, half its results a
    // semitone off: counted apart, no run of it formed and it was lost. The quantiser names them the
    // expected note afterwards anyway.
    hear();
    if (m_recent.size() > 2 * m_windowSize)
        m_recent.removeFirst();
    if (takeShortNote(note))
        return true;
    // The expected note the vote named as a new pitch but no note was taken for (a legato step
    // without an onset, not yet held long enough) is voted on again with each result that names
    // it: the window, cut back to the run, would refill only 0.2 s later, past the end of a short
    // step. Another pitch waits: run on, it would reach the next note's attack and take it.
    const QVector<PitchDetector::NoteInfo>& taken = mp_detector->m_notes;
    const bool refusedStep = m_takenAtStep >= 0 && m_takenAtStep == taken.size() &&
                             m_lastNote.note != Pitch::NONE && m_window.last().note == m_lastNote.note;
    m_takenAtStep = -1;
    if (m_window.size() < m_windowSize && !refusedStep) {
        LOG_TRACE("pitch-hrstic", "window is too small");
        return false;
    }
    const bool full = m_window.size() >= m_windowSize;
    const bool accepted = evaluate(note);
    const QList<PitchDetector::NoteInfo>& expected = mp_detector->m_expectedNotes;
    const int k = mp_detector->m_expectedIndex;
    if (accepted && !taken.isEmpty() && k >= 0 && k < expected.size() && expected[k].note == note.note)
        m_takenAtStep = taken.size();
    if (full && !m_window.isEmpty())
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
    int first = findFirst(winner);
    const int last = findLast(winner);
    if (first < 0 || last < 0)
        return false;

    const QList<PitchDetector::NoteInfo>& expected = mp_detector->m_expectedNotes;
    const int k = mp_detector->m_expectedIndex;
    double start = m_window[first].offset;
    const bool melodyRepeats = k >= 1 && k < expected.size() && expected[k].note == expected[k - 1].note;
    // Where the melody repeats the note the vote's run and the onset coordinator date the repeat.
    const double restrike = melodyRepeats ? -1.0 : restrikeTime(winner);
    m_restruck = restrike >= 0.0;
    if (m_restruck) {
        // The note sung again after a dip: a note of its own from its attack, whatever the
        // expected melody holds there.
        while (first + 1 < m_window.size() && m_window[first].offset < restrike - kPieceLead)
            ++first;
        start = restrike;
    } else if (!melodyRepeats && m_lastNote.note == winner) {
        start = m_lastNote.offset; // the same pitch class continues the earlier note
    }

    note.frequency = frequency;
    note.note = winner;
    note.octave = octave;
    note.offset = start;
    note.duration = m_window[last].offset - start;

    QVector<PitchDetector::NoteInfo>& accepted = mp_detector->m_notes;
    if (!m_restruck && !accepted.isEmpty() && accepted.last().note == winner)
        accepted.last().duration = note.duration;
    if (m_restruck || m_history.isEmpty() || m_history.last().note != winner) {
        m_history.append(note);
    } else {
        // Results two octaves or more under the note's own do not stretch it: a new note a fourth
        // below struck over its release reads as the two notes' common subharmonic, the held note's
        // pitch class two octaves down, and the new note's onset would be dropped as one inside the
        // held note. (An octave off is the tracker's or the voice's own slip, inside the note.)
        int own = last;
        while (own >= 0 && !(m_window[own].note == winner && m_window[own].octave > m_history.last().octave - 2))
            --own;
        const double end = own >= 0 ? m_window[own].offset : m_history.last().offset + m_history.last().duration;
        m_history.last().offset = start;
        m_history.last().duration = end - start;
    }

    for (int i = 0; i < first; ++i)
        m_window.removeFirst();
    m_lastNote = note;
    return true;
}
