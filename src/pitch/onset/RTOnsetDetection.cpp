#include "pitch/onset/RTOnsetDetection.h"

#include <algorithm>

RTOnsetDetection::RTOnsetDetection()
    : m_prevCount(10), mp_prevValues(new double[10]()), mp_medianScratch(new double[10]()),
      m_threshold(static_cast<float>(0.1)), m_meanWeight(1.35), m_medianWeight(1.0), m_largestPeak(0.0),
      m_peakWeight(static_cast<float>(0.05)), m_floorWeight(static_cast<float>(0.05)), m_floorLevel(0.0)
{
}

RTOnsetDetection::~RTOnsetDetection()
{
    delete[] mp_prevValues;
    delete[] mp_medianScratch;
}

bool RTOnsetDetection::is_onset(double value)
{
    double* p = mp_prevValues;
    const bool peak = p[0] > m_threshold && p[0] > value && p[0] > p[1] && value > m_floorWeight * m_floorLevel;

    std::copy(p, p + m_prevCount, mp_medianScratch);
    m_threshold = m_medianWeight * median(mp_medianScratch, m_prevCount) + m_meanWeight * mean(p, m_prevCount) +
                  m_peakWeight * m_largestPeak;

    for (int i = m_prevCount - 1; i > 0; --i)
        p[i] = p[i - 1];
    p[0] = value;

    if (!peak)
        return false;
    if (p[1] > m_largestPeak)
        m_largestPeak = p[1];
    return true;
}

double median(double* values, int count)
{
    if (count < 1)
        return 0.0;
    const int k = (count - 1) / 2;
    std::nth_element(values, values + k, values + count);
    return values[k];
}

double mean(double* values, int count)
{
    if (count < 1)
        return 0.0;
    double sum = 0.0;
    for (int i = 0; i < count; ++i)
        sum += values[i];
    return sum / count;
}
