#include "pitch/onset/PeakODF.h"

#include "pitch/onset/MQPeaks.h"
#include "pitch/onset/RealFft.h"

#include <cstdlib>

PeakODF::PeakODF() : mp_params(static_cast<MQParameters*>(calloc(1, sizeof(MQParameters))))
{
    mp_params->frame_size = frame_size;
    mp_params->max_peaks = 20;
    mp_params->num_bins = frame_size / 2 + 1;
    mp_params->peak_threshold = 0.1;
    mp_params->fundamental = 44100.0 / frame_size;
    mp_params->matching_interval = 200.0;
    init_mq(mp_params);
}

PeakODF::~PeakODF()
{
    destroy_mq(mp_params);
    free(mp_params);
}

bool PeakODF::acceptsFrameSize(int size) const
{
    return RealFft::isSupportedSize(size);
}

void PeakODF::set_frame_size(int value)
{
    if (!checkFrameSize(value))
        return;
    frame_size = value;
    reinit();
}

void PeakODF::reinit()
{
    reset_mq(mp_params);
    destroy_mq(mp_params);
    mp_params->frame_size = frame_size;
    mp_params->num_bins = frame_size / 2 + 1;
    mp_params->fundamental = 44100.0 / frame_size;
    init_mq(mp_params);
}

void PeakODF::reset()
{
    reset_mq(mp_params);
}

int PeakODF::get_max_peaks()
{
    return mp_params->max_peaks;
}

void PeakODF::set_max_peaks(int value)
{
    mp_params->max_peaks = value;
}

double PeakODF::max_odf_value()
{
    return 0.0;
}

double PeakODF::get_distance(Peak*, Peak*)
{
    return 0.0;
}

double PeakODF::process_frame(int size, double* frame)
{
    if (!adoptFrameSize(size))
        return 0.0;
    PeakList* peaks = track_peaks(find_peaks(size, frame, mp_params), mp_params);
    double sum = 0.0;
    m_total = 0.0;
    for (PeakList* node = peaks; node && node->peak; node = node->next) {
        sum += get_distance(node->peak, node->peak->prev);
        m_total += node->peak->amplitude;
    }
    return sum;
}
