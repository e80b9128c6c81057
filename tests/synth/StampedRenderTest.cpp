// Stamped rendering through the real synthesizer, offline: each message sounds at the frame its
// due time gives, in posting order per channel, however the output is cut into blocks.
#include <gtest/gtest.h>

#include <cmath>

#include "synth/GmSynth.h"
#include "synth/StampedRenderer.h"

namespace {

using namespace std::chrono_literals;
using Clock = StampedRenderer::Clock;

constexpr uint32_t kClickProgram = 0xCA | (127 << 8);
constexpr uint32_t kClick = 0x9A | (127 << 8) | (127 << 16);
constexpr uint32_t kAllSoundOff = 0xBA | (120 << 8);

// First frames of sound after at least 10 ms of silence.
std::vector<int> onsets(const std::vector<float>& samples, double rate) {
    std::vector<int> found;
    int quiet = static_cast<int>(rate);
    for (int i = 0; i < static_cast<int>(samples.size()); ++i) {
        if (std::abs(samples[i]) > 1e-4f) {
            if (quiet >= rate * 0.010) {
                found.push_back(i);
            }
            quiet = 0;
        } else {
            ++quiet;
        }
    }
    return found;
}

TEST(StampedRender, MessagesSoundAtTheirFramesInOrderWhateverTheBlockSize) {
    const double rate = GmSynth::kSampleRate;
    const Clock::time_point origin{};
    std::vector<int> first;
    for (int block : {64, 100, 256, 1000}) {
        GmSynth synth;
        std::string error;
        ASSERT_TRUE(synth.load(error)) << error;
        StampedRenderer renderer(synth, rate, 10ms);
        renderer.setOrigin(origin);
        renderer.post(kClickProgram, origin);
        for (auto at : {50ms, 120ms, 201ms}) {
            renderer.post(kClick, origin + at);
        }
        // Posted after the click but stamped before it: it must still come after, and cut it.
        renderer.post(kClick, origin + 300ms);
        renderer.post(kAllSoundOff, origin + 290ms);
        // After a long silence the engine is not run; the next click must still keep its frame.
        renderer.post(kClick, origin + 500ms);

        std::vector<float> left(static_cast<size_t>(rate * 0.6)), right(left.size());
        for (size_t done = 0; done < left.size(); done += block) {
            const int frames = static_cast<int>(std::min<size_t>(block, left.size() - done));
            renderer.render(left.data() + done, right.data() + done, frames);
        }
        const std::vector<int> heard = onsets(left, rate);
        ASSERT_EQ(heard.size(), 4u) << "block " << block;
        // 64 frames a millisecond, plus the 10 ms latency.
        const int expected[] = {60 * 64, 130 * 64, 211 * 64, 510 * 64};
        for (int i = 0; i < 4; ++i) {
            EXPECT_GE(heard[i], expected[i]) << "block " << block;
            EXPECT_LT(heard[i], expected[i] + 8) << "block " << block;
        }
        if (first.empty()) {
            first = heard;
        }
        EXPECT_EQ(heard, first) << "block " << block;
    }
}

}  // namespace
