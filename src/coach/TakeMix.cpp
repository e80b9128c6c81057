#include "coach/TakeMix.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

namespace Coach {

namespace {

constexpr double kLeadSeconds = 1;
constexpr double kTailSeconds = 2;
constexpr sf_count_t kBlock = 8192;
constexpr double kClickLevel = 0.25;             // under a guitar played close to the microphone
constexpr double kSubdivisionShare = 11.0 / 20;  // as the metronome strikes them
constexpr double kTickSeconds = 0.025;
constexpr double kTickDecaySeconds = 0.004;
constexpr double kTickFadeSeconds = 0.002;

struct Partials {
    double low, high;  // Hz
};
constexpr Partials kBeatTick{2000, 3300};
constexpr Partials kAccentTick{3000, 4950};

// The metronome's click as its sound font makes it: two inharmonic partials under a fast decay,
// the accent higher. Here in cosine phase, so the tick's first sample is its loudest and the
// click begins on its very sample.
std::vector<float> tick(Partials partials, double level, int rate) {
    const int count = static_cast<int>(kTickSeconds * rate);
    const double fadeCount = kTickFadeSeconds * rate;
    std::vector<float> samples(count);
    for (int i = 0; i < count; ++i) {
        const double t = double(i) / rate;
        const double tone = 0.6 * std::cos(2 * std::numbers::pi * partials.low * t) +
                            0.4 * std::cos(2 * std::numbers::pi * partials.high * t);
        const double fade = std::min(1.0, (count - 1 - i) / fadeCount);
        samples[i] = static_cast<float>(level * std::exp(-t / kTickDecaySeconds) * tone * fade);
    }
    return samples;
}

struct Ticks {
    std::vector<float> beat, accent, subdivision;
    const std::vector<float>& of(const GridPoint& point) const {
        return point.accent ? accent : point.subdivision > 0 ? subdivision : beat;
    }
};

using SoundFile = std::unique_ptr<SNDFILE, int (*)(SNDFILE*)>;

SoundFile openFile(const std::string& path, int mode, SF_INFO& info) {
    return {sf_open(path.c_str(), mode, &info), sf_close};
}

// `count` frames of the take from `from`, silence where it has none.
void readTake(SNDFILE* take, int64_t takeFrames, int64_t from, sf_count_t count, float* out) {
    std::fill(out, out + count, 0.0f);
    const int64_t start = std::max<int64_t>(from, 0);
    const int64_t end = std::min<int64_t>(from + count, takeFrames);
    if (end > start && sf_seek(take, start, SEEK_SET) == start) {
        sf_readf_float(take, out + (start - from), end - start);
    }
}

}  // namespace

bool renderTakeMix(const RecordedTake& take, double correctionSeconds, const std::string& mixPath,
                   TakeMix& mix, std::string& error) {
    SF_INFO takeInfo{};
    const SoundFile takeFile = openFile(take.path, SFM_READ, takeInfo);
    if (!takeFile || takeInfo.channels != 1) {
        error = takeFile ? "The take is not mono." : sf_strerror(nullptr);
        return false;
    }
    const int rate = takeInfo.samplerate;
    const int64_t shift = std::llround(correctionSeconds * rate);
    int64_t first = 0;
    int64_t last = takeInfo.frames - shift;
    if (!take.grid.empty()) {
        first = std::max<int64_t>(0, std::llround((take.grid.front().at - kLeadSeconds) * rate));
        last = std::min<int64_t>(last, std::llround((take.grid.back().at + kTailSeconds) * rate));
    }
    mix = {first, std::max<int64_t>(0, last - first)};

    SF_INFO mixInfo{};
    mixInfo.samplerate = rate;
    mixInfo.channels = 2;
    mixInfo.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    const SoundFile mixFile = openFile(mixPath, SFM_WRITE, mixInfo);
    if (!mixFile) {
        error = sf_strerror(nullptr);
        return false;
    }
    // A loud take clips rather than wraps.
    sf_command(mixFile.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);

    const Ticks ticks{tick(kBeatTick, kClickLevel, rate), tick(kAccentTick, kClickLevel, rate),
                      tick(kBeatTick, kClickLevel * kSubdivisionShare, rate)};
    std::vector<float> guitar(kBlock), out(2 * kBlock);
    size_t nextClick = 0;
    for (int64_t done = 0; done < mix.frames;) {
        const sf_count_t count = std::min<int64_t>(kBlock, mix.frames - done);
        readTake(takeFile.get(), takeInfo.frames, first + done + shift, count, guitar.data());
        for (sf_count_t i = 0; i < count; ++i) {
            out[2 * i] = out[2 * i + 1] = guitar[i];
        }
        for (size_t k = nextClick; k < take.grid.size(); ++k) {
            const GridPoint& point = take.grid[k];
            const int64_t start = std::llround(point.at * rate) - first;
            if (start >= done + count) {
                break;
            }
            const auto& sound = ticks.of(point);
            const int64_t end = start + static_cast<int64_t>(sound.size());
            for (int64_t at = std::max(start, done);
                 point.heard && at < std::min(end, done + count); ++at) {
                out[2 * (at - done)] += sound[at - start];
                out[2 * (at - done) + 1] += sound[at - start];
            }
            if (end <= done + count && k == nextClick) {
                ++nextClick;
            }
        }
        if (sf_writef_float(mixFile.get(), out.data(), count) != count) {
            error = sf_strerror(mixFile.get());
            return false;
        }
        done += count;
    }
    return true;
}

}  // namespace Coach
