#include "analysis/KeyEstimate.h"

#include <dsp/keydetection/GetKeyMode.h>

#include <algorithm>
#include <cmath>

#include "analysis/MonoSource.h"

namespace {

// Seconds' worth of chroma frames averaged, and of keys whose median is taken.
constexpr double kChromaAveraging = 10;
constexpr double kKeySmoothing = 10;
constexpr double kSilentBlock = 1e-3;  // RMS

}  // namespace

KeyEstimate::KeyEstimate(double tuningCents)
    : m_finder(std::make_unique<GetKeyMode>(kAnalysisRate, 440.0 * std::exp2(tuningCents / 1200),
                                            kChromaAveraging, kKeySmoothing)),
      m_block(m_finder->getBlockSize()),
      m_hop(m_finder->getHopSize()) {}

KeyEstimate::~KeyEstimate() = default;

void KeyEstimate::push(const float* samples, size_t count) {
    while (count > 0) {
        const size_t taken = std::min(count, m_block.size() - m_filled);
        std::copy(samples, samples + taken, m_block.begin() + static_cast<long>(m_filled));
        m_filled += taken;
        samples += taken;
        count -= taken;
        if (m_filled == m_block.size()) {
            analyseBlock();
            std::copy(m_block.begin() + static_cast<long>(m_hop), m_block.end(), m_block.begin());
            m_filled -= m_hop;
        }
    }
}

void KeyEstimate::analyseBlock() {
    // The finder keeps the block for its own averages, so it sees every block, silent or not.
    const int key = m_finder->process(m_block.data());
    double energy = 0;
    for (const double sample : m_block) energy += sample * sample;
    if (std::sqrt(energy / double(m_block.size())) < kSilentBlock)
        return;
    if (key >= 1 && key <= 24)
        ++m_heldBlocks[key];
}

std::string KeyEstimate::key() const {
    const auto held = std::max_element(m_heldBlocks.begin(), m_heldBlocks.end());
    if (*held == 0)
        return {};
    return keyName(static_cast<int>(held - m_heldBlocks.begin()));
}

std::string keyName(int keyNumber) {
    static const char* const kTonics[] = {"C",  "Db", "D",  "Eb", "E",  "F",
                                          "F#", "G",  "Ab", "A",  "Bb", "B"};
    if (keyNumber < 1 || keyNumber > 24)
        return {};
    const int tonic = (keyNumber - 1) % 12;
    return std::string(kTonics[tonic]) + (keyNumber > 12 ? " minor" : " major");
}
