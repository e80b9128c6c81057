#pragma once
// Guitar-like test signals made at run time: steady tones, plucked strings and noise.

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

namespace guitar {

constexpr double kTwoPi = 2 * std::numbers::pi;

inline double centsAbove(double hz, double cents) {
    return hz * std::pow(2.0, cents / 1200);
}

inline double centsBetween(double measured, double expected) {
    return 1200 * std::log2(measured / expected);
}

// A fundamental with a second harmonic `secondDb` relative to it, fading by 60 dB over
// `decaySeconds` (0: steady).
inline std::vector<float> tone(double hz, double seconds, double rate, double amplitude = 0.5,
                               double secondDb = -200, double decaySeconds = 0) {
    const double second = std::pow(10.0, secondDb / 20);
    const double perSample = decaySeconds > 0 ? std::log(1e-3) / (decaySeconds * rate) : 0;
    std::vector<float> out(static_cast<size_t>(seconds * rate));
    for (size_t i = 0; i < out.size(); ++i) {
        const double phase = kTwoPi * hz * double(i) / rate;
        const double mix = (std::sin(phase) + second * std::sin(2 * phase)) / (1 + second);
        out[i] = static_cast<float>(amplitude * std::exp(perSample * double(i)) * mix);
    }
    return out;
}

// Karplus–Strong: a delay line closed through a lowpass (strings lose highs first), a chain of
// allpasses that makes the upper partials slightly sharp as a stiff string does, and a
// fractional-delay allpass. Both allpasses are solved from the loop's phase delay, so the
// fundamental is exactly the asked frequency and the second partial `stretchCents` sharp.
class PluckedString {
public:
    PluckedString(double hz, double rate, double decaySeconds = 4, double stretchCents = 0.25)
        : m_hz(hz), m_rate(rate) {
        m_stiffness = solve(-0.95, 0, [&](double c) { return stretchOf(c) - stretchCents; });
        const double needed = rate / hz - 1 - kStages * allpassDelay(omega(hz), m_stiffness);
        m_delay = static_cast<int>(needed - 0.5);
        const double fraction = needed - m_delay;
        m_tuning =
            solve(-0.99, 0.99, [&](double c) { return allpassDelay(omega(hz), c) - fraction; });
        // The lowpass takes at most half of the fundamental's decay, so high notes still ring.
        const double w = omega(hz);
        m_smoothing = std::min(0.25, 0.5 * std::log(1000) / (decaySeconds * hz * w * w));
        const double lossPerPass = std::pow(10.0, -3 / (decaySeconds * hz));
        m_gain = lossPerPass / (1 - 2 * m_smoothing * (1 - std::cos(w)));
    }

    // The pick: a triangle bent at a fifth of the string, a little noise, and its click.
    std::vector<float> render(double seconds, double amplitude, unsigned seed = 1) const {
        std::mt19937 random(seed);
        std::normal_distribution<double> noise(0, 0.05);
        std::vector<double> line(m_delay);
        double mean = 0;
        for (int i = 0; i < m_delay; ++i) {
            const double x = double(i) / m_delay;
            line[i] = (x < 0.2 ? x / 0.2 : (1 - x) / 0.8) + noise(random);
            mean += line[i] / m_delay;
        }
        for (auto& x : line) {
            x -= mean;  // a held offset would ring as long as the loop's gain allows
        }
        std::vector<float> out(static_cast<size_t>(seconds * m_rate));
        double previous = 0, beforePrevious = 0;
        double stageIn[kStages + 1] = {}, stageOut[kStages + 1] = {};
        for (size_t n = 0; n < out.size(); ++n) {
            const double delayed = line[n % m_delay];
            const double a = m_smoothing;
            double y = m_gain * (a * delayed + (1 - 2 * a) * previous + a * beforePrevious);
            beforePrevious = previous;
            previous = delayed;
            for (int s = 0; s <= kStages; ++s) {  // the last stage tunes, the others stiffen
                const double c = s < kStages ? m_stiffness : m_tuning;
                const double x = y;
                y = c * x + stageIn[s] - c * stageOut[s];
                stageIn[s] = x;
                stageOut[s] = y;
            }
            line[n % m_delay] = y;
            const double click = n < 400 ? 8 * noise(random) * std::exp(-double(n) / 80) : 0;
            out[n] = static_cast<float>(amplitude * (delayed + click));
        }
        return out;
    }

    double partialHz(int n) const {
        return turnHz(n, [&](double w) {
            return m_delay + 1 + kStages * allpassDelay(w, m_stiffness) + allpassDelay(w, m_tuning);
        });
    }

private:
    static constexpr int kStages = 4;

    double omega(double hz) const { return kTwoPi * hz / m_rate; }

    static double allpassDelay(double w, double c) {
        const auto z = std::polar(1.0, -w);
        return -std::arg((c + z) / (1.0 + c * z)) / w;
    }

    // The second partial's stretch with stiffness c, the rest of the loop a plain delay.
    double stretchOf(double c) const {
        const auto stiff = [&](double w) { return kStages * allpassDelay(w, c); };
        const double rest = m_rate / m_hz - stiff(omega(m_hz));
        return centsBetween(turnHz(2, [&](double w) { return rest + stiff(w); }), 2 * m_hz);
    }

    // Where n cycles fit the loop's delay at their own frequency: the loop's nth mode.
    template <typename Delay>
    double turnHz(int n, Delay delay) const {
        double hz = n * m_hz;
        for (int i = 0; i < 50; ++i) {
            hz = n * m_rate / delay(omega(hz));
        }
        return hz;
    }

    template <typename F>
    static double solve(double low, double high, F f) {
        const bool rising = f(high) > f(low);
        for (int i = 0; i < 60; ++i) {
            const double mid = 0.5 * (low + high);
            ((f(mid) > 0) == rising ? high : low) = mid;
        }
        return 0.5 * (low + high);
    }

    double m_hz, m_rate;
    int m_delay = 0;
    double m_stiffness = 0, m_tuning = 0, m_smoothing = 0, m_gain = 1;
};

// White noise at `snrDb` below the signal's RMS over its first second.
inline void addNoise(std::vector<float>& signal, double snrDb, double rate, unsigned seed = 7) {
    const size_t span = std::min(signal.size(), static_cast<size_t>(rate));
    double power = 0;
    for (size_t i = 0; i < span; ++i) {
        power += double(signal[i]) * signal[i] / double(span);
    }
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0, std::sqrt(power) * std::pow(10.0, -snrDb / 20));
    for (auto& s : signal) {
        s += static_cast<float>(noise(random));
    }
}

}  // namespace guitar
