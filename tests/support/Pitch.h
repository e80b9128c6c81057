#pragma once

#include <cmath>
#include <vector>

// Fundamental frequency of a steady tone by normalised autocorrelation. Taking the shortest lag
// that comes close to the best correlation avoids octave errors; a parabola through the peak
// gives sub-sample precision.
inline double estimatePitch(const std::vector<float>& s, double sampleRate, double minHz = 60,
                            double maxHz = 1000) {
    const int minLag = static_cast<int>(sampleRate / maxHz);
    const int maxLag = static_cast<int>(sampleRate / minHz);
    const int n = static_cast<int>(s.size()) - maxLag - 1;
    if (n <= 0) {
        return 0;
    }
    std::vector<double> r(maxLag + 2, 0.0);
    for (int lag = minLag - 1; lag <= maxLag + 1; ++lag) {
        double sum = 0, e0 = 0, e1 = 0;
        for (int i = 0; i < n; ++i) {
            sum += double(s[i]) * s[i + lag];
            e0 += double(s[i]) * s[i];
            e1 += double(s[i + lag]) * s[i + lag];
        }
        r[lag] = (e0 > 0 && e1 > 0) ? sum / std::sqrt(e0 * e1) : 0;
    }
    double best = 0;
    for (int lag = minLag; lag <= maxLag; ++lag) {
        best = std::max(best, r[lag]);
    }
    for (int lag = minLag; lag <= maxLag; ++lag) {
        if (r[lag] >= 0.9 * best && r[lag] >= r[lag - 1] && r[lag] >= r[lag + 1]) {
            const double a = r[lag - 1], b = r[lag], c = r[lag + 1];
            const double denominator = a - 2 * b + c;
            const double offset = denominator != 0 ? 0.5 * (a - c) / denominator : 0;
            return sampleRate / (lag + offset);
        }
    }
    return 0;
}

// Equal temperament with A4 = 440 Hz.
inline double noteFrequency(int note) {
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

inline double centsBetween(double measured, double expected) {
    return 1200.0 * std::log2(measured / expected);
}
