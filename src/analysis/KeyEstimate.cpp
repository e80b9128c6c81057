#include "analysis/KeyEstimate.h"

#include <base/Pitch.h>
#include <dsp/chromagram/Chromagram.h>
#include <dsp/rateconversion/Decimator.h>

#include <algorithm>
#include <cmath>

#include "analysis/BeatTracking.h"
#include "analysis/MonoSource.h"

namespace {

using Profile = PitchClasses;

// From the tonic up.
constexpr Profile kMajor = {0.748, 0.060, 0.488, 0.082, 0.670, 0.460,
                            0.096, 0.715, 0.104, 0.366, 0.057, 0.400};
constexpr Profile kMinor = {0.712, 0.084, 0.474, 0.618, 0.049, 0.460,
                            0.105, 0.747, 0.404, 0.067, 0.133, 0.330};
constexpr size_t kDecimation = 4;  // to 11 kHz: C7 and its neighbours stay below half the rate
constexpr unsigned kBinsPerOctave = 36;
constexpr double kLeastStrength = 1e-3;  // a silent track's chroma
// MIDI notes.
constexpr int kC2 = 36;
constexpr int kC4 = 60;
constexpr int kC7 = 96;

ChromaConfig chromaConfig(double tuningCents, int lowest, int highest) {
    ChromaConfig config{};
    config.FS = kAnalysisRate / kDecimation;
    config.min =
        Pitch::getFrequencyForPitch(lowest, 0, float(440.0 * std::exp2(tuningCents / 1200)));
    config.max =
        Pitch::getFrequencyForPitch(highest, 0, float(440.0 * std::exp2(tuningCents / 1200)));
    config.BPO = kBinsPerOctave;
    config.CQThresh = 0.0054;
    config.normalise = MathUtilities::NormaliseNone;
    return config;
}

double mean(const Profile& values) {
    double sum = 0;
    for (const double v : values) sum += v;
    return sum / 12;
}

// Pearson's correlation of the pitch classes, rotated to the tonic, with the profile.
double correlation(const Profile& pitchClasses, int tonic, const Profile& profile) {
    const double meanClass = mean(pitchClasses);
    const double meanProfile = mean(profile);
    double product = 0, classSquares = 0, profileSquares = 0;
    for (int step = 0; step < 12; ++step) {
        const double x = pitchClasses[(tonic + step) % 12] - meanClass;
        const double y = profile[step] - meanProfile;
        product += x * y;
        classSquares += x * x;
        profileSquares += y * y;
    }
    return classSquares > 0 ? product / std::sqrt(classSquares * profileSquares) : 0;
}

void addChroma(const double* chroma, PitchClasses& classes) {
    // Three bins to a semitone, the middle one on the note.
    for (size_t bin = 0; bin < kBinsPerOctave; ++bin) {
        if (std::isfinite(chroma[bin]))
            classes[((bin + 1) / 3) % 12] += chroma[bin];
    }
}

}  // namespace

KeyEstimate::KeyEstimate(double tuningCents)
    : m_decimator(std::make_unique<Decimator>(OnsetCurve::kOnsetStep, kDecimation)),
      m_chromagram(std::make_unique<Chromagram>(chromaConfig(tuningCents, kC2, kC7))),
      m_bassChromagram(std::make_unique<Chromagram>(chromaConfig(tuningCents, kC2, kC4))),
      m_step(OnsetCurve::kOnsetStep),
      m_decimated(OnsetCurve::kOnsetStep / kDecimation),
      m_frame(m_chromagram->getFrameSize()),
      m_hop(m_chromagram->getHopSize()) {}

KeyEstimate::~KeyEstimate() = default;

void KeyEstimate::push(const float* step) {
    std::copy(step, step + OnsetCurve::kOnsetStep, m_step.begin());
    m_decimator->process(m_step.data(), m_decimated.data());
    for (size_t used = 0; used < m_decimated.size();) {
        const size_t taken = std::min(m_decimated.size() - used, m_frame.size() - m_filled);
        std::copy_n(m_decimated.begin() + long(used), taken, m_frame.begin() + long(m_filled));
        used += taken;
        m_filled += taken;
        if (m_filled == m_frame.size()) {
            analyseFrame();
            std::copy(m_frame.begin() + long(m_hop), m_frame.end(), m_frame.begin());
            m_filled -= m_hop;
        }
    }
}

// Both chromagrams start at C2, so their frames are the same length.
void KeyEstimate::analyseFrame() {
    addChroma(m_chromagram->process(m_frame.data()), m_pitchClasses);
    addChroma(m_bassChromagram->process(m_frame.data()), m_bassClasses);
}

std::string KeyEstimate::key() const {
    double total = 0;
    for (const double weight : m_pitchClasses) total += weight;
    if (total < kLeastStrength)
        return {};
    double best = -2;
    std::string name;
    for (int tonic = 0; tonic < 12; ++tonic) {
        for (const bool minor : {false, true}) {
            const Profile& profile = minor ? kMinor : kMajor;
            const double r = correlation(m_pitchClasses, tonic, profile) +
                             correlation(m_bassClasses, tonic, profile);
            if (r > best) {
                best = r;
                name = keyName(tonic, minor);
            }
        }
    }
    return name;
}

std::string keyName(int tonic, bool minor) {
    static const char* const kTonics[] = {"C",  "Db", "D",  "Eb", "E",  "F",
                                          "F#", "G",  "Ab", "A",  "Bb", "B"};
    return std::string(kTonics[((tonic % 12) + 12) % 12]) + (minor ? " minor" : " major");
}
