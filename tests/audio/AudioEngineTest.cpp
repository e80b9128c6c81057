// The engine's blocks against a sink with a clock of its own: whatever the sink's drift, however
// late it starts taking the stream and however late one block is written, every frame is played
// the engine's latency after its due time.
#include <gtest/gtest.h>

#include <cmath>

#include "audio/AudioEngine.h"
#include "audio/HeardStamp.h"

namespace {

using namespace std::chrono_literals;
using Clock = AudioEngine::Clock;

// Plays frame i at start + i / (rate × (1 + drift)), from the frame index the stream gives it.
class DriftingSink : public AudioSink {
public:
    DriftingSink(const Clock::time_point& now, Clock::time_point start, double drift)
        : m_now(now), m_start(start), m_rate(48000 * (1 + drift)) {}
    bool write(const float*, int frames, std::string&) override {
        m_written += frames;
        return true;
    }
    void skip(int frames) override { m_written += frames; }
    bool service(std::string&) override { return true; }
    std::optional<std::chrono::microseconds> untilPlayed() override {
        const double played = std::max(0.0, seconds(m_now - m_start) * m_rate);
        return std::chrono::microseconds(std::llround((m_written - played) / m_rate * 1e6));
    }
    Clock::time_point playsAt(int64_t frame) const {
        return m_start + std::chrono::duration_cast<Clock::duration>(
                             std::chrono::duration<double>(frame / m_rate));
    }
    int64_t written() const { return m_written; }
    static double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

private:
    const Clock::time_point& m_now;
    Clock::time_point m_start;
    double m_rate;
    int64_t m_written = 0;
};

struct Case {
    const char* name;
    double drift;
    std::chrono::microseconds startOffset;  // how much later than expected the sink starts
    bool oneLateBlock;
};

TEST(AudioEngineBlocks, EveryFramePlaysTheLatencyAfterItsDueTime) {
    const Case cases[] = {
        {"no drift", 0, 0us, false},
        {"sink 500 ppm fast, starts 3 ms late", 500e-6, 3000us, false},
        {"sink 500 ppm slow, starts 3 ms late", -500e-6, 3000us, false},
        {"sink 500 ppm slow, starts 3 ms early", -500e-6, -3000us, false},
        {"one block written 30 ms late", 500e-6, 3000us, true},
    };
    for (const Case& c : cases) {
        Clock::time_point now = Clock::now();
        DriftingSink* sink = nullptr;
        AudioEngine engine([&](const AudioSink::FormatChooser& choose, std::string&) {
            choose(48000);
            // Where a server that takes the stream at once would play the first block.
            auto made = std::make_unique<DriftingSink>(now, now + 16ms + c.startOffset, c.drift);
            sink = made.get();
            return std::unique_ptr<AudioSink>(std::move(made));
        });
        std::string error;
        ASSERT_TRUE(engine.open(error)) << error;
        // The first frame of the engine's first block is due when the latency has passed.
        const Clock::time_point firstDue =
            engine.renderableAt(engine.position()) + AudioEngine::kLatency;
        now = engine.nextWriteTime();
        const auto stretch = sink->playsAt(sink->written()) - firstDue;

        double worst = 0;
        for (int block = 0; block < 60 * 250; ++block) {
            const auto writeTime = engine.nextWriteTime();
            now = writeTime + (c.oneLateBlock && block == 50 * 250 ? 30ms : 0ms);
            const auto due = engine.renderableAt(engine.position()) + AudioEngine::kLatency;
            const int64_t frame = sink->written();
            ASSERT_TRUE(engine.processBlock(writeTime, now));
            if (block >= 40 * 250) {  // once the queue has been aligned and the drift caught
                const double error = DriftingSink::seconds(sink->playsAt(frame) - due);
                worst = std::max(worst, std::abs(error));
            }
        }
        EXPECT_LT(worst, 0.25e-3) << c.name << ": played up to " << worst * 1e3
                                  << " ms off its time; the first block would be "
                                  << DriftingSink::seconds(stretch) * 1e3 << " ms off";
    }
}

// A frame is heard as the last stamp tells; none before one, nor once it is heard (a pause).
TEST(HeardStamp, TellsWhenAFrameIsHeardUntilTheStreamPauses) {
    const Clock::time_point t0{std::chrono::seconds(100)};
    const struct {
        bool stamped;
        Clock::time_point now;
        std::optional<Clock::time_point> heard;  // frame 4800, the stamp's 10 ms on
    } cases[] = {
        {false, t0 - 15ms, std::nullopt},
        {true, t0 - 15ms, t0 + 10ms},
        {true, t0, std::nullopt},
    };
    for (const auto& c : cases) {
        HeardStamp stamp;
        if (c.stamped) {
            stamp.publish(4320, t0);
        }
        const auto current = stamp.current(c.now);
        ASSERT_EQ(current.has_value(), c.heard.has_value());
        if (current) {
            EXPECT_EQ(current->heardAtFrame(4800, 48000), *c.heard);
        }
    }
}

}  // namespace
