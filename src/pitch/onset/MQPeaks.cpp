#include "pitch/onset/MQPeaks.h"

#include "pitch/onset/RealFft.h"
#include "pitch/onset/SignalMath.h"

#include <cmath>
#include <cstdlib>

namespace {

PeakList* new_list_node()
{
    PeakList* node = static_cast<PeakList*>(malloc(sizeof(PeakList)));
    node->next = nullptr;
    node->prev = nullptr;
    node->peak = nullptr;
    return node;
}

} // namespace

int init_mq(MQParameters* params)
{
    params->window = static_cast<double*>(malloc(sizeof(double) * params->frame_size));
    for (int i = 0; i < params->frame_size; ++i)
        params->window[i] = 1.0;
    hann_window(params->frame_size, params->window);
    params->fft_in = static_cast<double*>(calloc(params->frame_size, sizeof(double)));
    params->fft_out = new std::complex<double>[params->num_bins];
    params->fft_cfg = new RealFft(params->frame_size);
    params->prev_peaks = nullptr;
    params->prev_prev_peaks = nullptr;
    return 0;
}

void reset_mq(MQParameters* params)
{
    delete_peak_list(params->prev_peaks);
    delete_peak_list(params->prev_prev_peaks);
    params->prev_peaks = nullptr;
    params->prev_prev_peaks = nullptr;
}

int destroy_mq(MQParameters* params)
{
    if (!params)
        return 0;
    free(params->window);
    free(params->fft_in);
    delete[] params->fft_out;
    delete params->fft_cfg;
    params->window = nullptr;
    params->fft_in = nullptr;
    params->fft_out = nullptr;
    params->fft_cfg = nullptr;
    reset_mq(params);
    return 0;
}

void delete_peak_list(PeakList* list)
{
    while (list) {
        PeakList* next = list->next;
        free(list->peak);
        free(list);
        list = next;
    }
}

void add_peak(Peak* peak, PeakList* list)
{
    PeakList* node = list;
    while (node) {
        if (!node->peak) {
            node->peak = peak;
            return;
        }
        if (node->peak->amplitude <= peak->amplitude) {
            // Insert before node: move node's content one node further.
            PeakList* moved = new_list_node();
            moved->peak = node->peak;
            moved->next = node->next;
            moved->prev = node;
            if (node->next)
                node->next->prev = moved;
            node->next = moved;
            node->peak = peak;
            return;
        }
        if (!node->next) {
            PeakList* last = new_list_node();
            last->prev = node;
            last->peak = peak;
            node->next = last;
            return;
        }
        node = node->next;
    }
}

double get_magnitude(double re, double im)
{
    return std::sqrt(re * re + im * im);
}

double get_phase(double re, double im)
{
    return std::atan2(im, re);
}

int peak_list_length(PeakList* list)
{
    int count = 0;
    for (PeakList* node = list; node && node->peak; node = node->next)
        ++count;
    return count;
}

PeakList* merge(PeakList* list1, PeakList* list2)
{
    PeakList head{nullptr, nullptr, nullptr};
    PeakList* tail = &head;
    while (list1 && list2) {
        if (list2->peak->frequency >= list1->peak->frequency) {
            tail->next = list1;
            list1 = list1->next;
        } else {
            tail->next = list2;
            list2 = list2->next;
        }
        tail = tail->next;
    }
    tail->next = list1 ? list1 : list2;
    return head.next;
}

PeakList* merge_sort(PeakList* list, int count)
{
    if (count <= 1) {
        if (list)
            list->next = nullptr;
        return list;
    }
    const int firstCount = (count + 1) / 2;
    PeakList* split = list;
    for (int i = 1; i < firstCount; ++i)
        split = split->next;
    PeakList* second = split->next;
    split->next = nullptr;
    return merge(merge_sort(list, firstCount), merge_sort(second, count - firstCount));
}

PeakList* sort_peaks_by_frequency(PeakList* list, int count)
{
    if (!list || count <= 1)
        return list;
    return merge_sort(list, count);
}

PeakList* find_peaks(int, double* frame, MQParameters* params)
{
    PeakList* list = new_list_node();
    const int n = params->frame_size;
    for (int i = 0; i < n; ++i)
        params->fft_in[i] = frame[i] * params->window[i];
    params->fft_cfg->forward(params->fft_in, params->fft_out);

    const std::complex<double>* out = params->fft_out;
    double prevMag = get_magnitude(out[0].real(), out[0].imag());
    double mag = params->num_bins > 1 ? get_magnitude(out[1].real(), out[1].imag()) : 0.0;
    int found = 0;
    for (int i = 1; i <= params->num_bins - 2; ++i) {
        const double nextMag = get_magnitude(out[i + 1].real(), out[i + 1].imag());
        if (mag > prevMag && mag > nextMag && mag > params->peak_threshold) {
            Peak* peak = static_cast<Peak*>(malloc(sizeof(Peak)));
            peak->amplitude = static_cast<float>(mag);
            peak->frequency = static_cast<float>(i * params->fundamental);
            peak->phase = static_cast<float>(get_phase(out[i].real(), out[i].imag()));
            peak->bin = i;
            peak->next = nullptr;
            peak->prev = nullptr;
            add_peak(peak, list);
            ++found;
        }
        prevMag = mag;
        mag = nextMag;
    }

    if (found > params->max_peaks) {
        PeakList* node = list;
        for (int i = 1; i < params->max_peaks && node; ++i)
            node = node->next;
        if (params->max_peaks <= 0) {
            // Keep the one empty node.
            delete_peak_list(list->next);
            free(list->peak);
            list->peak = nullptr;
            list->next = nullptr;
            return list;
        }
        delete_peak_list(node->next);
        node->next = nullptr;
        found = params->max_peaks;
    }
    if (found > 0)
        list = sort_peaks_by_frequency(list, found);
    return list;
}

Peak* find_closest_match(Peak* peak, PeakList* list, MQParameters* params, int backwards)
{
    Peak* best = nullptr;
    double bestDistance = 44100.0;
    for (PeakList* node = list; node && node->peak; node = node->next) {
        Peak* candidate = node->peak;
        if (backwards ? candidate->prev != nullptr : candidate->next != nullptr)
            continue;
        const double distance = std::fabs(candidate->frequency - peak->frequency);
        if (distance < params->matching_interval && distance < bestDistance) {
            best = candidate;
            bestDistance = distance;
        }
    }
    return best;
}

Peak* free_peak_below(Peak* peak, PeakList* list)
{
    Peak* best = nullptr;
    double bestDistance = 44100.0;
    for (PeakList* node = list; node && node->peak; node = node->next) {
        Peak* candidate = node->peak;
        if (candidate == peak || candidate->prev || candidate->frequency >= peak->frequency)
            continue;
        const double distance = std::fabs(candidate->frequency - peak->frequency);
        if (distance < bestDistance) {
            best = candidate;
            bestDistance = distance;
        }
    }
    return best;
}

PeakList* track_peaks(PeakList* current, MQParameters* params)
{
    for (PeakList* node = params->prev_peaks; node && node->peak; node = node->next) {
        Peak* previous = node->peak;
        Peak* candidate = find_closest_match(previous, current, params, 1);
        if (!candidate)
            continue;
        Peak* back = find_closest_match(candidate, params->prev_peaks, params, 0);
        if (back == previous) {
            candidate->prev = previous;
            previous->next = candidate;
            continue;
        }
        Peak* below = free_peak_below(candidate, current);
        if (below && std::fabs(below->frequency - previous->frequency) < params->matching_interval) {
            below->prev = previous;
            previous->next = below;
        }
    }
    delete_peak_list(params->prev_prev_peaks);
    params->prev_prev_peaks = params->prev_peaks;
    params->prev_peaks = current;
    return current;
}
