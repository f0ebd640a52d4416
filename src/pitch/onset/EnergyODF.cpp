#include "pitch/onset/EnergyODF.h"

#include <cmath>

double EnergyODF::process_frame(int size, double* frame)
{
    if (!adoptFrameSize(size))
        return 0.0;
    double energy = 0.0;
    for (int i = 0; i < frame_size; ++i)
        energy += frame[i] * frame[i];
    const double value = std::fabs(energy - m_prevEnergy);
    m_prevEnergy = energy;
    return value;
}
