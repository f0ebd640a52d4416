#include "BenchMetrics.h"

#include <algorithm>
#include <cmath>

int BenchMetrics::frequencyToMidi(double frequency)
{
    if (frequency <= 0.0)
        return 0;
    return static_cast<int>(std::lround(69.0 + 12.0 * std::log2(frequency / 440.0)));
}

BenchMetrics::PitchScore BenchMetrics::scorePitch(const std::vector<Frame>& frames,
                                                  const std::vector<BenchSignals::Note>& truth)
{
    PitchScore score;
    int gross = 0;
    std::vector<double> cents;
    for (const Frame& frame : frames) {
        const BenchSignals::Note* note = nullptr;
        for (const BenchSignals::Note& n : truth) {
            if (frame.time >= n.start + 0.05 && frame.time <= n.start + n.duration - 0.05) {
                note = &n;
                break;
            }
        }
        if (!note)
            continue;
        ++score.frames;
        const double f0 = 440.0 * std::pow(2.0, (note->midi - 69) / 12.0);
        if (frame.frequency <= 0.0 || std::fabs(frame.frequency / f0 - 1.0) > 0.2) {
            ++gross;
            continue;
        }
        cents.push_back(std::fabs(1200.0 * std::log2(frame.frequency / f0)));
    }
    if (score.frames > 0)
        score.grossErrorRate = static_cast<double>(gross) / score.frames;
    if (!cents.empty()) {
        std::nth_element(cents.begin(), cents.begin() + cents.size() / 2, cents.end());
        score.medianCents = cents[cents.size() / 2];
    }
    return score;
}

int BenchMetrics::segmentNotesRight(const std::vector<Frame>& frames, const std::vector<BenchSignals::Note>& truth)
{
    int right = 0;
    for (const BenchSignals::Note& note : truth) {
        std::vector<double> values;
        for (const Frame& frame : frames) {
            if (frame.time >= note.start + 0.25 * note.duration && frame.time <= note.start + 0.75 * note.duration &&
                frame.frequency > 0.0)
                values.push_back(frame.frequency);
        }
        if (values.empty())
            continue;
        std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
        if (frequencyToMidi(values[values.size() / 2]) == note.midi)
            ++right;
    }
    return right;
}

int BenchMetrics::detectedNotesRight(const std::vector<DetectedNote>& notes,
                                     const std::vector<BenchSignals::Note>& truth)
{
    int right = 0;
    std::vector<bool> used(notes.size(), false);
    for (const BenchSignals::Note& note : truth) {
        for (size_t i = 0; i < notes.size(); ++i) {
            if (used[i] || notes[i].offset < note.start - 0.25 || notes[i].offset > note.start + 0.3)
                continue;
            used[i] = true;
            if (notes[i].midi == note.midi)
                ++right;
            break;
        }
    }
    return right;
}

BenchMetrics::OnsetScore BenchMetrics::scoreOnsets(const std::vector<double>& detected,
                                                   const std::vector<BenchSignals::Note>& truth, double tolerance)
{
    OnsetScore score;
    std::vector<bool> used(detected.size(), false);
    int matched = 0;
    double offsetSum = 0.0;
    for (const BenchSignals::Note& note : truth) {
        int best = -1;
        for (size_t i = 0; i < detected.size(); ++i) {
            if (used[i] || std::fabs(detected[i] - note.start) > tolerance)
                continue;
            if (best < 0 || std::fabs(detected[i] - note.start) < std::fabs(detected[best] - note.start))
                best = static_cast<int>(i);
        }
        if (best >= 0) {
            used[best] = true;
            ++matched;
            offsetSum += detected[best] - note.start;
        }
    }
    score.precision = detected.empty() ? 0.0 : static_cast<double>(matched) / detected.size();
    score.recall = truth.empty() ? 0.0 : static_cast<double>(matched) / truth.size();
    if (score.precision + score.recall > 0.0)
        score.f = 2 * score.precision * score.recall / (score.precision + score.recall);
    score.meanOffsetMs = matched ? 1000.0 * offsetSum / matched : 0.0;
    return score;
}
