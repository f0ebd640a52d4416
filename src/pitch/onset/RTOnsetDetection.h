#pragma once

// Real-time peak picker: a value is an onset peak once the next value is lower, when it clears an
// adaptive threshold built from the median and mean of the recent values and the largest peak.
class RTOnsetDetection {
public:
    RTOnsetDetection();
    ~RTOnsetDetection();
    RTOnsetDetection(const RTOnsetDetection&) = delete;
    RTOnsetDetection& operator=(const RTOnsetDetection&) = delete;

    // True when the previous value was an onset peak.
    bool is_onset(double value);

    double threshold() const { return m_threshold; }
    double largestPeak() const { return m_largestPeak; }

private:
    int m_prevCount;
    double* mp_prevValues;  // newest at 0
    double* mp_medianScratch;
    double m_threshold;
    double m_meanWeight;
    double m_medianWeight;
    double m_largestPeak;
    double m_peakWeight;
    double m_floorWeight;
    double m_floorLevel;
};

// Selects in place the element at (count - 1) / 2 of the sorted order.
double median(double* values, int count);
double mean(double* values, int count);
