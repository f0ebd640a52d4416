#pragma once

#include <complex>

class RealFft;

// Spectral peak picking and frame-to-frame peak tracking (McAulay-Quatieri style) as plain
// functions over plain structures; records are malloc'ed and freed with free.

struct Peak {
    float amplitude;
    float frequency;
    float phase;
    int bin;
    Peak* next; // the peak of the following frame that continues this one
    Peak* prev; // the peak of the preceding frame this one continues
};

// An empty list is one node without a peak; walks stop at a null peak or a null next.
struct PeakList {
    PeakList* next;
    PeakList* prev;
    Peak* peak;
};

struct MQParameters {
    int frame_size;
    int max_peaks;
    int num_bins;
    double peak_threshold;
    double fundamental;
    double matching_interval;
    double* window;
    double* fft_in;
    RealFft* fft_cfg;
    std::complex<double>* fft_out;
    PeakList* prev_peaks;
    PeakList* prev_prev_peaks;
};

int init_mq(MQParameters* params);
void reset_mq(MQParameters* params);
int destroy_mq(MQParameters* params);
void delete_peak_list(PeakList* list);
void add_peak(Peak* peak, PeakList* list);
double get_magnitude(double re, double im);
double get_phase(double re, double im);
// The frame's strongest peaks in ascending frequency; the sample count comes from frame_size.
PeakList* find_peaks(int signal_size, double* frame, MQParameters* params);
PeakList* sort_peaks_by_frequency(PeakList* list, int count);
PeakList* merge_sort(PeakList* list, int count);
PeakList* merge(PeakList* list1, PeakList* list2);
Peak* find_closest_match(Peak* peak, PeakList* list, MQParameters* params, int backwards);
Peak* free_peak_below(Peak* peak, PeakList* list);
// Links current's peaks to the previous frame's, rotates the history, returns current.
PeakList* track_peaks(PeakList* current, MQParameters* params);
int peak_list_length(PeakList* list);
