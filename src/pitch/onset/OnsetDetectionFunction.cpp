#include "pitch/onset/OnsetDetectionFunction.h"

#include "debug/Debugging.h"
#include "pitch/onset/ModalException.h"

#include <cstdio>

OnsetDetectionFunction::OnsetDetectionFunction()
    : sampling_rate(44100), frame_size(512), hop_size(256), window(nullptr)
{
}

OnsetDetectionFunction::~OnsetDetectionFunction() = default;

void OnsetDetectionFunction::window_frame(double* frame)
{
    if (!window)
        return;
    for (int i = 0; i < frame_size; ++i)
        frame[i] *= window[i];
}

int OnsetDetectionFunction::get_sampling_rate() { return sampling_rate; }
int OnsetDetectionFunction::get_frame_size() { return frame_size; }
int OnsetDetectionFunction::get_hop_size() { return hop_size; }
void OnsetDetectionFunction::set_sampling_rate(int value) { sampling_rate = value; }

void OnsetDetectionFunction::set_frame_size(int value)
{
    if (checkFrameSize(value))
        frame_size = value;
}

void OnsetDetectionFunction::set_hop_size(int value)
{
    if (value <= 0) {
        LOG_ERROR("pitch", "hop size %d is not positive; keeping %d", value, hop_size);
        return;
    }
    hop_size = value;
}

double OnsetDetectionFunction::process_frame(int, double*)
{
    return 0.0;
}

bool OnsetDetectionFunction::checkFrameSize(int size) const
{
    if (acceptsFrameSize(size))
        return true;
    LOG_ERROR("pitch", "frame size %d cannot be analysed; keeping %d", size, frame_size);
    return false;
}

bool OnsetDetectionFunction::adoptFrameSize(int size)
{
    if (size == frame_size)
        return true;
    printf("Warning: size of signal passed to process_frame (%d) does not match frame_size (%d), "
           "updating frame size.\n",
           size, frame_size);
    set_frame_size(size);
    return size == frame_size;
}

double OnsetDetectionFunction::process(int signal_size, double* signal, int odf_size, double* odf)
{
    if (signal_size < frame_size || hop_size <= 0)
        return 0.0;
    const int frames = (signal_size - frame_size) / hop_size + 1;
    if (odf_size < frames)
        throw modal::Exception("onset function output holds fewer values than there are frames");
    double largest = 0.0;
    int k = 0;
    const int size = frame_size;
    for (int i = 0; i <= signal_size - size; i += hop_size) {
        odf[k] = process_frame(size, signal + i);
        if (odf[k] > largest)
            largest = odf[k];
        ++k;
    }
    if (largest != 0.0) {
        for (int i = 0; i < odf_size; ++i)
            odf[i] /= largest;
    }
    return largest;
}
