#include "pitch/heuristics/PitchQuantizationHeuristic.h"

#include <cmath>

PitchQuantizationHeuristic::PitchQuantizationHeuristic(PitchDetector* detector, double tolerance)
    : PitchDetectionHeuristic(detector, QStringLiteral("PitchQuantizationHeuristic")), m_tolerance(tolerance)
{
}

bool PitchQuantizationHeuristic::withinReach(double frequency, double neighbourFrequency, double targetFrequency,
                                             bool above, double tolerance)
{
    const double t = std::fabs(neighbourFrequency - targetFrequency) * tolerance;
    return above ? frequency < targetFrequency + t : frequency > targetFrequency - t;
}

bool PitchQuantizationHeuristic::process(PitchDetector::NoteInfo& note)
{
    const QList<PitchDetector::NoteInfo>& expected = mp_detector->m_expectedNotes;
    const int k = mp_detector->m_expectedIndex;
    if (expected.isEmpty() || k < 0 || k >= expected.size() || note.note == Pitch::NONE)
        return true;
    const PitchDetector::NoteInfo& target = expected[k];
    const int distance = Pitch::midiNote(note.note, note.octave) - Pitch::midiNote(target.note, target.octave);
    if (std::abs(distance) != 1)
        return true;
    const double fE = Pitch::noteToFreq(target.note, target.octave);
    const double fD = Pitch::noteToFreq(note.note, note.octave);
    // Octave folding moved the name but not the measured frequency: move the frequency by the
    // same number of octaves, or a wrong semitone in another octave would pass as right.
    double frequency = note.frequency;
    if (frequency > 0.0)
        frequency = std::ldexp(frequency, -static_cast<int>(std::lround(std::log2(frequency / fD))));
    if (withinReach(frequency, fD, fE, distance > 0, m_tolerance)) {
        note.note = target.note;
        note.octave = target.octave;
    }
    return true;
}
