#include "pitch/onset/LPEnergyODF.h"

#include "pitch/onset/SignalMath.h"

#include <cmath>

LPEnergyODF::LPEnergyODF()
{
    init();
}

LPEnergyODF::~LPEnergyODF() = default;

void LPEnergyODF::init()
{
    m_history.assign(order, 0.0);
    m_coefficients.assign(order, 0.0);
}

void LPEnergyODF::destroy()
{
    m_history.clear();
    m_coefficients.clear();
}

double LPEnergyODF::process_frame(int size, double* frame)
{
    if (!adoptFrameSize(size))
        return 0.0;
    double energy = 0.0;
    for (int i = 0; i < frame_size; ++i)
        energy += frame[i] * frame[i];
    const double prediction = predict_and_push(m_history.data(), order, m_coefficients.data(), energy);
    return std::fabs(energy - prediction);
}
