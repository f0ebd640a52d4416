#include "pitch/onset/SignalMath.h"

#include <cmath>
#include <vector>

namespace {
// The correlation one period later over this: a note. Its own harmonics keep it near 1 (0.6 and
// more with vibrato); white noise stays near 0.
constexpr double kNote = 0.5;
} // namespace

void hann_window(int n, double* window)
{
    if (n < 2) // a one-point window would divide by zero
        return;
    for (int i = 0; i < n; ++i)
        window[i] *= 0.5 * (1.0 - std::cos(2.0 * M_PI * i / (n - 1)));
}

void burg(int n, const double* samples, int order, int count, double* coefficients)
{
    if (count < 1)
        return;
    for (int i = 0; i < count; ++i)
        coefficients[i] = 0.0;
    if (order < 1 || n < count)
        return;
    std::vector<double> f(samples, samples + n);
    std::vector<double> b(samples, samples + n);
    std::vector<double> a(count + 1, 0.0);
    a[0] = 1.0;
    std::vector<double> reversed(count + 1);
    for (int k = 0; k < order && k < count; ++k) {
        double mu = 0.0;
        if (k + 1 < count) {
            double num = 0.0;
            double den = 0.0;
            for (int i = 0; i <= count - k - 2; ++i) {
                num += f[i + k + 1] * b[i];
                den += f[i + k + 1] * f[i + k + 1] + b[i] * b[i];
            }
            if (den > 0.0)
                mu = -2.0 * num / den;
        }
        for (int j = 0; j <= k + 1; ++j)
            reversed[j] = a[k + 1 - j];
        for (int j = 0; j <= k + 1; ++j)
            a[j] += mu * reversed[j];
        if (k + 1 < count) {
            for (int i = 0; i <= count - k - 2; ++i) {
                const double fi = f[i + k + 1];
                const double bi = b[i];
                f[i + k + 1] = fi + mu * bi;
                b[i] = bi + mu * fi;
            }
        }
    }
    for (int i = 0; i < count; ++i)
        coefficients[i] = a[i + 1];
}

void linear_prediction(int n, const double* samples, int order, const double* coefficients, int count,
                       double* predicted)
{
    for (int j = 0; j < count; ++j) {
        double sum = 0.0;
        for (int i = 0; i < j && i < order; ++i)
            sum += coefficients[i] * predicted[j - 1 - i];
        for (int i = j; i < order; ++i) {
            const int index = n - 1 - (i - j);
            if (index >= 0)
                sum += coefficients[i] * samples[index];
        }
        predicted[j] = -sum;
    }
}

double predict_and_push(double* history, int order, double* coefficients, double value)
{
    double prediction = 0.0;
    if (order >= 1) {
        burg(order, history, order, order, coefficients);
        for (int i = 0; i < order; ++i)
            prediction -= coefficients[i] * history[order - 1 - i];
        for (int i = 0; i + 1 < order; ++i)
            history[i] = history[i + 1];
        history[order - 1] = value;
    }
    return prediction;
}

double periodicity(const double* span, int count, double period)
{
    const int lag = static_cast<int>(period);
    const double fraction = period - lag;
    const int n = count - lag - 1;
    if (lag < 1 || n < 256)
        return 1.0;
    double xy = 0.0, xx = 0.0, yy = 0.0;
    for (int i = 0; i < n; ++i) {
        const double x = span[i];
        const double y = span[i + lag] + fraction * (span[i + lag + 1] - span[i + lag]);
        xy += x * y;
        xx += x * x;
        yy += y * y;
    }
    return xx > 0.0 && yy > 0.0 ? xy / std::sqrt(xx * yy) : 0.0;
}

bool repeatsAtPeriod(const double* span, int count, double period)
{
    return periodicity(span, count, period) > kNote;
}
