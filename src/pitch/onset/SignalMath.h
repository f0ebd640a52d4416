#pragma once

// Windowing and linear prediction shared by the onset detection functions.

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
