#include "pitch/DyWaPitchTracker.h"

#include "debug/Debugging.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {
constexpr int kMaxFlwtLevels = 6;
constexpr double kMaxFrequency = 3000.0;
constexpr int kDifferenceLevels = 3;
constexpr double kAmplitudeThresholdRatio = 0.75;
constexpr double kMaxRelativeError = static_cast<float>(0.2);
constexpr int kMaxConfidence = 5;
// Two raw estimates this close (0.6 of a semitone) name one pitch.
constexpr double kAgreement = 0.035;
// Pieces in a row without pitch (46 ms) that make a breath between two notes.
constexpr int kBreathPieces = 2;
// The normalised difference's period search, for when the wavelet finds none.
constexpr int kDecimation = 4;          // the period search runs at 11025 Hz
constexpr int kLongestLag = 128;        // 86 Hz
constexpr int kShortestLag = 7;         // 1575 Hz
// A dip of the normalised difference under this is a period; noise has none.
constexpr double kPeriodicThreshold = 0.2;
} // namespace

int _power2p(int v)
{
    if (v == 0)
        return 1;
    if (v == 2)
        return 1;
    if (v & 1)
        return 0;
    return _power2p(v >> 1);
}

int _bitcount(int v)
{
    if (v <= 0) // a negative value would shift to -1 for ever
        return 0;
    if (v == 1)
        return 1;
    if (v == 2)
        return 2;
    return _bitcount(v >> 1) + 1;
}

int _ceil_power2(int v)
{
    if (_power2p(v))
        return v;
    if (v == 1)
        return 2;
    return 1 << _bitcount(v);
}

int _floor_power2(int v)
{
    if (_power2p(v))
        return v;
    return _ceil_power2(v) / 2;
}

int _iabs(int v)
{
    return v < 0 ? -v : v;
}

int _2power(int i)
{
    int result = 1;
    for (int j = 0; j < i; ++j)
        result <<= 1;
    return result;
}

int dywapitch_neededsamplecount(int minFreq)
{
    if (minFreq <= 0)
        return 0;
    return _ceil_power2(132300 / minFreq);
}

void dywapitch_inittracking(_dywapitchtracker* tracker)
{
    tracker->prevPitch = -1.0;
    tracker->pitchConfidence = -1;
    tracker->beforePitch = -1.0;
    tracker->lastRaw = -1.0;
    tracker->silentPieces = 0;
}

// The previous level's mean distance, taken again over only the distances within delta of where this
// level puts the period. The mode's window (twice delta wide, from its first best position) can reach
// a second cluster: vowels whose formant doubles the maxima in each period add the short spacing
// between them, and the period came out up to a semitone short (sharp).
double refineModeDistance(const int* counts, int size, double centre, int delta, double modeDistance)
{
    const int middle = static_cast<int>(std::lround(centre));
    double sum = 0.0;
    double weight = 0.0;
    for (int i = std::max(0, middle - delta); i <= std::min(size - 1, middle + delta); ++i) {
        sum += static_cast<double>(i) * counts[i];
        weight += counts[i];
    }
    return weight > 0.0 ? sum / weight : modeDistance;
}

// The period by the normalised difference of a quarter-rate copy, for when the wavelet finds none:
// a formant on a harmonic (a high "ee", F2 on the fourth) gives every period a second peak nearly as
// tall as the first, the two spacings split the wavelet's count at every level and no level agrees.
// Noise has no dip below the threshold and gives none.

double _dywapitch_periodicityPitch(const double* samples, int start, int count)
{
    constexpr int kRate = 44100 / kDecimation;
    const int total = _floor_power2(count);
    const int m = total / kDecimation;
    if (start < 0 || m < 2 * kLongestLag)
        return 0.0;
    double y[2 * kLongestLag];
    double mean = 0.0;
    for (int k = 0; k < 2 * kLongestLag; ++k) {
        // The newest part of the piece, as the last quarter-rate samples.
        const double* x = samples + start + total - kDecimation * (2 * kLongestLag - k);
        y[k] = (x[0] + x[1] + x[2] + x[3]) * 0.25;
        mean += y[k];
    }
    mean /= 2 * kLongestLag;
    double energy = 0.0;
    for (double& v : y) {
        v -= mean;
        energy += v * v;
    }
    if (energy <= 0.0)
        return 0.0;
    double d[kLongestLag + 1];
    double running = 0.0;
    d[0] = 1.0;
    for (int lag = 1; lag <= kLongestLag; ++lag) {
        double sum = 0.0;
        for (int j = 0; j < kLongestLag; ++j) {
            const double e = y[j] - y[j + lag];
            sum += e * e;
        }
        running += sum;
        d[lag] = running > 0.0 ? sum * lag / running : 1.0;
    }
    for (int lag = kShortestLag; lag < kLongestLag; ++lag) {
        if (d[lag] >= kPeriodicThreshold)
            continue;
        while (lag + 1 < kLongestLag && d[lag + 1] < d[lag])
            ++lag;
        const double a = d[lag - 1], b = d[lag], c = d[lag + 1];
        const double bend = a - 2 * b + c;
        const double shift = bend > 0.0 ? 0.5 * (a - c) / bend : 0.0;
        return kRate / (lag + std::max(-0.5, std::min(0.5, shift)));
    }
    return 0.0;
}

double _dywapitch_waveletPitch(double* samples, int start, int count)
{
    if (count < 2 || start < 0) // nothing to analyse (a zero count would divide by zero below)
        return 0.0;
    const int total = _floor_power2(count);
    double* x = static_cast<double*>(malloc(sizeof(double) * total));
    int* distances = static_cast<int*>(malloc(sizeof(int) * total));
    int* previousDistances = static_cast<int*>(calloc(static_cast<size_t>(total), sizeof(int)));
    int* mins = static_cast<int*>(malloc(sizeof(int) * total));
    int* maxs = static_cast<int*>(malloc(sizeof(int) * total));
    memcpy(x, samples + start, sizeof(double) * total);

    double pitch = 0.0;
    double sum = 0.0;
    double maxValue = 0.0;
    double minValue = 0.0;
    for (int i = 0; i < total; ++i) {
        sum += x[i];
        if (x[i] > maxValue)
            maxValue = x[i];
        if (x[i] < minValue)
            minValue = x[i];
    }
    const double dc = sum / total;
    maxValue -= dc;
    minValue -= dc;
    const double amplitudeMax = maxValue > -minValue ? maxValue : -minValue;
    const double threshold = amplitudeMax * kAmplitudeThresholdRatio;

    int level = 0;
    double modeDistance = -1.0;
    int previousCount = 0;
    int n = total;
    for (;;) {
        const int delta = static_cast<int>(44100.0 / (_2power(level) * kMaxFrequency));
        if (n < 2)
            break;

        int minCount = 0;
        int maxCount = 0;
        bool findMax = false;
        bool findMin = false;
        int lastMin = -1000000;
        int lastMax = -1000000;
        double prevDv = -1000.0;
        for (int i = 2; i < n; ++i) {
            const double s = x[i] - dc;
            const double s1 = x[i - 1] - dc;
            if (s1 <= 0 && s > 0)
                findMax = true;
            if (s1 >= 0 && s < 0)
                findMin = true;
            const double dv = s - s1;
            if (prevDv > -1000) {
                if (findMin && prevDv < 0 && dv >= 0 && std::fabs(s) >= threshold && i > lastMin + delta) {
                    mins[minCount++] = i;
                    lastMin = i;
                    findMin = false;
                }
                if (findMax && prevDv > 0 && dv <= 0 && std::fabs(s) >= threshold && i > lastMax + delta) {
                    maxs[maxCount++] = i;
                    lastMax = i;
                    findMax = false;
                }
            }
            prevDv = dv;
        }
        if (minCount == 0 && maxCount == 0)
            break;

        memset(distances, 0, sizeof(int) * n);
        for (int i = 0; i < minCount; ++i) {
            for (int j = 1; j < kDifferenceLevels; ++j) {
                if (i + j < minCount)
                    ++distances[_iabs(mins[i] - mins[i + j])];
            }
        }
        for (int i = 0; i < maxCount; ++i) {
            for (int j = 1; j < kDifferenceLevels; ++j) {
                if (i + j < maxCount)
                    ++distances[_iabs(maxs[i] - maxs[i + j])];
            }
        }

        int bestDistance = -1;
        int bestValue = -1;
        for (int i = 0; i < n; ++i) {
            int summed = 0;
            for (int j = -delta; j <= delta; ++j) {
                if (i + j >= 0 && i + j < n)
                    summed += distances[i + j];
            }
            if (summed == bestValue) {
                if (i == 2 * bestDistance)
                    bestDistance = i;
            } else if (summed > bestValue) {
                bestValue = summed;
                bestDistance = i;
            }
        }

        double distAvg = 0.0;
        double nbDists = 0.0;
        for (int j = -delta; j <= delta; ++j) {
            if (bestDistance + j >= 0 && bestDistance + j < total) {
                const int c = distances[bestDistance + j];
                if (c > 0) {
                    nbDists += c;
                    distAvg += (bestDistance + j) * c;
                }
            }
        }
        if (nbDists == 0.0) {
            // Single extrema give no spacing at this level: nothing to compare with the next.
            distAvg = -1.0;
        } else {
            distAvg /= nbDists;
        }

        if (distAvg > -1.0 && modeDistance > -1.0 && std::fabs(distAvg * 2 - modeDistance) <= 2 * delta) {
            pitch = 44100.0 / (_2power(level - 1) * refineModeDistance(previousDistances, previousCount, distAvg * 2,
                                                                        delta, modeDistance));
            break;
        }
        modeDistance = distAvg;
        std::swap(distances, previousDistances);
        previousCount = n;
        if (level + 1 >= kMaxFlwtLevels)
            break;
        ++level;
        if (n < 2)
            break;
        for (int i = 0; i < n / 2; ++i)
            x[i] = (x[2 * i] + x[2 * i + 1]) * 0.5;
        n /= 2;
    }

    free(x);
    free(distances);
    free(previousDistances);
    free(mins);
    free(maxs);
    return pitch;
}

double _dywapitch_computeWaveletPitch(double* samples, int start, int count)
{
    const double wavelet = _dywapitch_waveletPitch(samples, start, count);
    return wavelet > 0.0 ? wavelet : _dywapitch_periodicityPitch(samples, start, count);
}

double _dywapitch_dynamicprocess(_dywapitchtracker* tracker, double pitch)
{
    const double p = pitch == 0.0 ? -1.0 : pitch;
    double prev = tracker->prevPitch;
    int conf = tracker->pitchConfidence;
    double result = -1.0;

    auto relErr = [](double a, double b) { return std::fabs(static_cast<double>(static_cast<int>(a - b))) / b; };

    double before = tracker->beforePitch;
    const double lastRaw = tracker->lastRaw;
    tracker->lastRaw = p;
    const int silentBefore = tracker->silentPieces;
    tracker->silentPieces = p == -1.0 ? silentBefore + 1 : 0;
    if (p != -1.0) {
        if (prev != -1.0 && relErr(prev, p) < kMaxRelativeError) {
            before = prev;
            prev = p;
            conf = conf + 1 < kMaxConfidence ? conf + 1 : kMaxConfidence;
            result = p;
        } else if (prev != -1.0 && before != -1.0 && relErr(before, p) < kMaxRelativeError) {
            // Back to the pitch before the last result: that one was a lone jump (a formant's
            // period read for the voice's), not a new pitch to hold against the note.
            prev = p;
            before = p;
            result = p;
        } else if (prev != -1.0 && conf >= kMaxConfidence - 2 && relErr(prev, 2 * p) < kMaxRelativeError) {
            prev = 2 * p; // an octave error
            result = 2 * p;
        } else if (prev != -1.0 && conf >= kMaxConfidence - 2 && relErr(prev, 0.5 * p) < kMaxRelativeError) {
            prev = 0.5 * p;
            result = 0.5 * p;
        } else if (prev != -1.0 && conf >= 1 && (relErr(prev, 2 * p) < kMaxRelativeError || relErr(prev, 0.5 * p) < kMaxRelativeError)) {
            // An octave off a pitch not yet held with confidence: either may be the tracker's (a high
            // closed vowel flips to its subharmonic and back from piece to piece as it starts). The
            // newer is taken: the note goes on and none of its results is lost.
            prev = p;
            before = p;
            result = p;
        } else if (prev != -1.0 && lastRaw > 0.0 && std::fabs(lastRaw - p) < kAgreement * p) {
            // Two pieces in a row agree on a new pitch: a new note, not a lone jump. Held any longer,
            // the last note's pitch would fill a short note's results.
            prev = p;
            before = p;
            conf = 2;
            result = p;
        } else if (prev != -1.0 && silentBefore >= kBreathPieces) {
            // A new pitch right after pieces without one is the next note's, sung after a breath:
            // held off, the last note's pitch would fill a short note's first results. (A single
            // piece lost inside a choir's beating note is no breath.)
            prev = p;
            before = p;
            conf = 1;
            result = p;
        } else if (prev != -1.0 && conf >= 1) {
            // Neither a continuation nor an octave error: the previous pitch stands.
            --conf;
            result = prev;
        } else {
            prev = p;
            before = p;
            conf = 1;
            result = p;
        }
    } else {
        if (prev != -1.0) {
            if (conf >= 1) {
                --conf;
                result = prev;
            } else {
                prev = -1.0;
                conf = 0;
                result = -1.0;
            }
        }
    }

    tracker->prevPitch = prev;
    tracker->beforePitch = prev == -1.0 ? -1.0 : before;
    tracker->pitchConfidence = conf;
    if (conf < 1)
        result = -1.0;
    return result == -1.0 ? 0.0 : result;
}

double dywapitch_computepitch(_dywapitchtracker* tracker, double* samples, int start, int count)
{
    const double raw = _dywapitch_computeWaveletPitch(samples, start, count);
    LOG_TRACE("pitch-wavl", "raw pitch: %2.lf ; confidence: %.2lf", raw,
              static_cast<double>(tracker->pitchConfidence));
    return _dywapitch_dynamicprocess(tracker, raw);
}
