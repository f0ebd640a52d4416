#pragma once

// Windowing, linear prediction and periodicity shared by the onset detection functions and the
// pitch strategy.

// Multiplies window[i] in place by the symmetric Hann window; fill with ones first.
void hann_window(int n, double* window);
// Burg's method: count coefficients from n samples (callers pass n, order and count equal).
void burg(int n, const double* samples, int order, int count, double* coefficients);
// Extrapolates count values past the end of samples (count <= order + 1).
void linear_prediction(int n, const double* samples, int order, const double* coefficients, int count,
                       double* predicted);
// The one-step prediction from a history h of order values (h[order-1] newest), then the history
// shifts and value becomes the newest entry.
double predict_and_push(double* history, int order, double* coefficients, double value);
// The correlation of span with itself one period (in samples, fractional) later: about 1 for a
// steady pitched sound, about 0 for noise. A period too long to see repeat in the span (fewer than
// 256 samples compared) gives 1.
double periodicity(const double* span, int count, double period);
// Whether a pitch read in span (its period in samples) is a note's and not the room's: a note's
// samples repeat after its period, white room noise's do not, though the trackers now and then read
// a steady pitch in it. Asked only before the first note, while the room's level cannot be told
// from a note's.
bool repeatsAtPeriod(const double* span, int count, double period);
