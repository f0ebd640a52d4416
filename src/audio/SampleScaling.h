#pragma once

// A 16-bit sample times a gain, saturated at the ends of the range instead of wrapping (a wrapped
// sample is a full-scale click); a gain that is not a number gives silence. Real-time safe.
inline short scaledSample(short sample, double gain)
{
    const double value = double(sample) * gain;
    if (!(value == value))
        return 0;
    if (value >= 32767.0)
        return 32767;
    if (value <= -32768.0)
        return -32768;
    return short(value);
}
