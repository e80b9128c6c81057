// The backing track at practice speed and pitch: test tracks encoded at run time go through the
// real renderer and player, and the bench prints whether pitch and beat hold at other speeds,
// whether plain playing is the decoded file sample for sample, how a loop's seam sounds over 100
// passes and what each stretcher costs; then, with a sound server that has a null sink named
// nullsink, how a track at half speed sounds at the sink's monitor, idle and under load.
// Usage: track_practice_bench [pitch] [plain] [beat] [seam] [cost] [sink] (all when none is
// named; sink needs a sound server with a null sink named nullsink), or
// track_practice_bench dropouts [--minutes N] [--loops N]: the dropouts of a practised loop
// under busy loops (20 minutes under four unless told; no sound server needed).
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <mutex>
#include <numbers>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "../tests/support/SilentSink.h"
#include "BenchSupport.h"
#include "audio/AudioEngine.h"
#include "audio/Mp3Decoder.h"
#include "audio/PulseAudioStream.h"
#include "audio/SpeedTrainer.h"
#include "audio/TrackPlayer.h"
#include "audio/TrackRender.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
constexpr int kFileRate = 44100;
constexpr int kStreamRates[] = {48000, 64000};  // a 48 kHz server's, and the engine's own
constexpr int kMonitorRate = 48000;
constexpr double kToneHz = 440;
constexpr double kToneLevel = 12000.0 / 32768;
constexpr double kPi = std::numbers::pi;
constexpr StretchEngine kEngines[] = {StretchEngine::Finer, StretchEngine::Faster};

const char* nameOf(StretchEngine engine) {
    return engine == StretchEngine::Finer ? "R3" : "R2";
}

void row(const std::string& label, const std::string& figure, const char* target) {
    std::printf("%-42s %-58s target %s\n", label.c_str(), figure.c_str(), target);
}

template <typename... Args>
std::string format(const char* pattern, Args... args) {
    char text[256];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

// ---- Test tracks, 44.1 kHz stereo MP3s from a function of time and channel

std::string encode(const std::string& name, double seconds,
                   const std::function<double(double, int)>& sound) {
    std::vector<int16_t> stereo(2 * static_cast<size_t>(seconds * kFileRate));
    for (size_t i = 0; i < stereo.size(); ++i) {
        const double value = sound(static_cast<double>(i / 2) / kFileRate, static_cast<int>(i % 2));
        stereo[i] = static_cast<int16_t>(std::lround(32767 * std::clamp(value, -1.0, 1.0)));
    }
    return bench::encodeMp3(name, stereo);
}

std::string toneTrack(const std::string& name, double seconds) {
    return encode(name, seconds,
                  [](double t, int) { return kToneLevel * std::sin(2 * kPi * kToneHz * t); });
}

// 120 BPM: a 20 ms tick every half second from 0.25 s on.
constexpr double kClickTrackSeconds = 20;
constexpr double kFirstClick = 0.25;
constexpr double kClickEvery = 0.5;
constexpr int kClicks = static_cast<int>((kClickTrackSeconds - kFirstClick) / kClickEvery) + 1;
std::string clickTrack() {
    return encode("rz77-bench-clicks", kClickTrackSeconds, [](double t, int) {
        const double u = std::fmod(t + kClickEvery - kFirstClick, kClickEvery);
        return u > 0.02
                   ? 0.0
                   : 0.8 * std::exp(-u / 0.003) *
                         (0.6 * std::sin(2 * kPi * 1000 * u) + 0.4 * std::sin(2 * kPi * 2500 * u));
    });
}

// Something like a band: a strummed chord every half second, four chords round, and a hi-hat on
// every eighth, the two panned apart.
std::string bandTrack() {
    return encode("rz77-bench-band", 20, [](double t, int channel) {
        static const double chords[4][3] = {
            {110, 164.8, 220}, {98, 146.8, 196}, {130.8, 196, 261.6}, {146.8, 220, 293.7}};
        const double u = std::fmod(t, 0.5);
        const auto& chord = chords[static_cast<int>(t / 0.5) % 4];
        double strum = 0;
        for (double hz : chord) {
            for (int h = 1; h <= 6; ++h) {
                strum += std::sin(2 * kPi * hz * h * t) / h;
            }
        }
        const auto n = static_cast<uint32_t>(t * kFileRate) * 2654435761u;
        const double hat = (n >> 16) / 32768.0 - 1;
        const double pan = channel == 0 ? 0.7 : 0.3;
        return 0.12 * std::exp(-u / 0.4) * strum * pan +
               0.15 * std::exp(-std::fmod(t, 0.25) / 0.03) * hat * (1 - pan);
    });
}

// ---- Rendering offline

std::unique_ptr<Mp3Decoder> openAt(const std::string& path, int rate) {
    std::string error;
    auto decoder = Mp3Decoder::open(path, error);
    if (!decoder || !decoder->setOutputRate(rate, error)) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
        std::exit(1);
    }
    return decoder;
}

void loadOrExit(TrackPlayer& player, const std::string& path) {
    std::string error;
    if (!player.load(openAt(path, player.streamRate()), error)) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
        std::exit(1);
    }
}

// Interleaved stereo, the decoder's own.
std::vector<float> decoded(const std::string& path, int rate) {
    auto decoder = openAt(path, rate);
    std::vector<float> out, block(2 * 1024);
    while (const int frames = decoder->read(block.data(), 1024)) {
        out.insert(out.end(), block.begin(), block.begin() + 2 * frames);
    }
    return out;
}

std::vector<float> renderAll(TrackRender& render, size_t maxFrames = SIZE_MAX) {
    std::vector<float> out, block(2 * 1024);
    while (out.size() / 2 < maxFrames) {
        const int frames = render.render(block.data(), 1024);
        if (frames == 0) {
            break;
        }
        out.insert(out.end(), block.begin(), block.begin() + 2 * frames);
    }
    return out;
}

std::vector<float> rendered(const std::string& path, int rate, StretchEngine engine,
                            const TrackTuning& tuning) {
    auto decoder = openAt(path, rate);
    TrackRender render(rate, engine);
    render.setDecoder(decoder.get());
    render.start(0, tuning);
    return renderAll(render);
}

std::vector<float> leftOf(const std::vector<float>& interleaved) {
    std::vector<float> left(interleaved.size() / 2);
    for (size_t i = 0; i < left.size(); ++i) {
        left[i] = interleaved[2 * i];
    }
    return left;
}

double cents(double hz, double expected) {
    return 1200 * std::log2(hz / expected);
}

// ---- Measures

// A steady tone read against the frequency it should have: brought down to 0 Hz there, its phase
// is taken every 10 ms through a Hann window. A line through the phases gives the frequency over
// the stretch, to a thousandth of a cent over half a second (an autocorrelation's peak is not
// that fine); a phase that leaps off the line's course (phases started afresh, a gap) is counted.
struct ToneReading {
    double cents = NAN;
    int leaps = 0;
};
ToneReading readTone(const float* s, size_t count, int rate, double hz) {
    const size_t block = static_cast<size_t>(rate) / 100;
    const double step = 2 * kPi * hz / rate;
    std::vector<double> phases;
    double previous = 0;
    for (size_t at = 0; at + block <= count; at += block) {
        std::complex<double> sum;
        for (size_t i = 0; i < block; ++i) {
            const double hann =
                0.5 - 0.5 * std::cos(2 * kPi * (i + 0.5) / static_cast<double>(block));
            sum += hann * s[at + i] * std::polar(1.0, -step * static_cast<double>(at + i));
        }
        const double phase = std::arg(sum);
        phases.push_back(
            phases.empty() ? phase : phases.back() + std::remainder(phase - previous, 2 * kPi));
        previous = phase;
    }
    ToneReading reading;
    const size_t n = phases.size();
    if (n < 3) {
        return reading;
    }
    double middle = (n - 1) / 2.0, phaseMean = 0;
    for (double phase : phases) {
        phaseMean += phase / static_cast<double>(n);
    }
    double covariance = 0, variance = 0;
    for (size_t k = 0; k < n; ++k) {
        covariance += (k - middle) * (phases[k] - phaseMean);
        variance += (k - middle) * (k - middle);
    }
    const double slope = covariance / variance;  // radians per block
    reading.cents = cents(hz + slope / (2 * kPi) * rate / static_cast<double>(block), hz);
    bool leaping = false;
    for (size_t k = 1; k < n; ++k) {
        const bool off = std::abs(phases[k] - phases[k - 1] - slope) > 0.3;
        reading.leaps += off && !leaping;
        leaping = off;
    }
    return reading;
}

std::string readingText(const ToneReading& reading) {
    return format("%+.3f cents", reading.cents) +
           (reading.leaps > 0 ? format(" (%d leaps)", reading.leaps) : "");
}

// The error, worst of half-second windows across a stretch, and the leaps in all of it.
ToneReading worstReading(const float* s, size_t count, int rate, double hz, size_t windows) {
    const size_t window = static_cast<size_t>(rate) / 2;
    ToneReading worst = readTone(s, count, rate, hz);
    worst.cents = count >= window && windows > 0 ? 0 : NAN;
    for (size_t w = 0; w < windows && count >= window; ++w) {
        const size_t at = windows > 1 ? w * (count - window) / (windows - 1) : 0;
        const double error = readTone(s + at, window, rate, hz).cents;
        worst.cents =
            std::abs(error) > std::abs(worst.cents) || std::isnan(error) ? error : worst.cents;
    }
    return worst;
}

// Five windows across the middle half of a sound.
ToneReading middleReading(const std::vector<float>& mono, int rate, double hz) {
    return worstReading(mono.data() + mono.size() / 4, mono.size() / 2, rate, hz, 5);
}

// Where each click starts, in frames between samples: a 0.5 ms RMS envelope rising through a
// quarter of its loudest, after 0.2 s below it.
std::vector<double> onsets(const std::vector<float>& mono, int rate) {
    const size_t span = static_cast<size_t>(rate) / 2000;
    std::vector<double> envelope(mono.size());
    double sum = 0;
    for (size_t i = 0; i < mono.size(); ++i) {
        sum +=
            double(mono[i]) * mono[i] - (i >= span ? double(mono[i - span]) * mono[i - span] : 0);
        envelope[i] = std::sqrt(std::max(sum, 0.0) / static_cast<double>(span));
    }
    const double threshold = 0.25 * *std::max_element(envelope.begin(), envelope.end());
    std::vector<double> found;
    int64_t lastAbove = -rate;
    for (size_t i = 1; i < envelope.size(); ++i) {
        if (envelope[i] < threshold) {
            continue;
        }
        const bool rising = envelope[i - 1] < threshold;
        if (rising && static_cast<int64_t>(i) - lastAbove > rate / 5) {
            found.push_back(static_cast<double>(i - 1) +
                            (threshold - envelope[i - 1]) / (envelope[i] - envelope[i - 1]));
        }
        lastAbove = static_cast<int64_t>(i);
    }
    return found;
}

// Runs of at least half a millisecond where a tone at full level is near silent.
struct Gaps {
    int count = 0;
    double longestMs = 0;
    std::vector<double> at;  // seconds from the start
};
Gaps gapsIn(const float* s, size_t count, int rate) {
    Gaps gaps;
    size_t run = 0;
    for (size_t i = 0; i <= count; ++i) {
        if (i < count && std::abs(s[i]) < 0.01f) {
            ++run;
            continue;
        }
        if (run >= static_cast<size_t>(rate) / 2000) {
            ++gaps.count;
            gaps.longestMs = std::max(gaps.longestMs, 1000.0 * static_cast<double>(run) / rate);
            gaps.at.push_back(static_cast<double>(i - run) / rate);
        }
        run = 0;
    }
    return gaps;
}

double cpuSecondsOfThisThread() {
    timespec used{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &used);
    return double(used.tv_sec) + used.tv_nsec * 1e-9;
}

// Takes the player's sound as the audio thread does, 5 ms at a time, at `pace` times real time:
// slow enough that its worker keeps ahead, as it does at a stream's own pace.
void streamFrom(TrackPlayer& player, int rate, double pace, size_t frames,
                const std::function<void(const float*, size_t)>& each) {
    const size_t block = static_cast<size_t>(rate) / 200;
    const auto period = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(static_cast<double>(block) / (pace * rate)));
    std::vector<float> out(2 * block);
    auto due = Clock::now();
    for (size_t done = 0; done < frames; done += block) {
        std::fill(out.begin(), out.end(), 0.0f);
        player.mixInto(out.data(), static_cast<int>(block));
        each(out.data(), block);
        // Late, it goes on from now rather than catching up: a burst would outrun the worker.
        due = std::max(due + period, Clock::now());
        std::this_thread::sleep_until(due);
    }
}

// ---- Pitch stays put

void pitchFigures(const std::string& tone) {
    const struct {
        const char* name;
        TrackTuning tuning;
    } cases[] = {
        {"50 % speed", {0.5, 0, 0}},      {"75 % speed", {0.75, 0, 0}},
        {"125 % speed", {1.25, 0, 0}},    {"+2 semitones", {1.0, 2, 0}},
        {"-12 semitones", {1.0, -12, 0}}, {"+50 cents", {1.0, 0, 50}},
    };
    std::string figure;
    for (int rate : kStreamRates) {
        figure += format("%d kHz ", rate / 1000) +
                  readingText(middleReading(leftOf(decoded(tone, rate)), rate, kToneHz)) + "  ";
    }
    row("pitch, as decoded (the reading's own error)", figure, "0");
    for (const auto& c : cases) {
        const double expected = kToneHz * c.tuning.pitchScale();
        for (StretchEngine engine : kEngines) {
            figure.clear();
            for (int rate : kStreamRates) {
                const auto left = leftOf(rendered(tone, rate, engine, c.tuning));
                figure += format("%d kHz ", rate / 1000) +
                          readingText(middleReading(left, rate, expected)) + "  ";
            }
            row(format("pitch, %s, %s (%.2f Hz)", c.name, nameOf(engine), expected), figure,
                "±1 cent");
        }
    }

    // As the program makes its player: the engine measured once a stretch is first asked for.
    TrackPlayer player(kStreamRates[0]);
    loadOrExit(player, tone);
    player.setTuning({0.5, 0, 0});
    std::this_thread::sleep_for(300ms);
    player.play();
    std::vector<float> heard;
    streamFrom(player, kStreamRates[0], 5, 8 * static_cast<size_t>(kStreamRates[0]),
               [&heard](const float* s, size_t n) {
                   for (size_t i = 0; i < n; ++i) {
                       heard.push_back(s[2 * i]);
                   }
               });
    row("pitch, 50 %, player measuring its engine",
        "48 kHz, first 8 s " + readingText(middleReading(heard, kStreamRates[0], kToneHz)),
        "±1 cent");
}

// ---- Bit for bit at plain speed and pitch

size_t differing(const std::vector<float>& a, const std::vector<float>& b) {
    size_t count = std::max(a.size(), b.size()) - std::min(a.size(), b.size());
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        count += a[i] != b[i];
    }
    return count;
}

// How far the decoder's output after a seek stands from the track decoded through, in samples
// (later is positive), read from the tone's phase over the 100 ms after the frame.
double seekOffset(const std::vector<float>& through, const std::vector<float>& afterSeek,
                  int64_t frame, int rate) {
    const size_t count = static_cast<size_t>(rate) / 10;
    const double step = 2 * kPi * kToneHz / rate;
    std::complex<double> a, b;
    for (size_t i = 0; i < count; ++i) {
        const auto turn = std::polar(1.0, -step * static_cast<double>(i));
        a += static_cast<double>(through[static_cast<size_t>(frame) + i]) * turn;
        b += static_cast<double>(afterSeek[i]) * turn;
    }
    return std::remainder(std::arg(b) - std::arg(a), 2 * kPi) / step;
}

void bitForBitFigures(const std::string& tone) {
    for (int rate : kStreamRates) {
        const std::vector<float> reference = decoded(tone, rate);
        const std::string of = format(" of %zu", reference.size());
        row(format("plain, %d Hz: renderer against decoder", rate),
            format("%zu", differing(rendered(tone, rate, StretchEngine::Finer, {}), reference)) +
                of + " samples differ",
            "0");

        // Back to plain after a stretch, from a frame in the middle: the decoder's own seek.
        const int64_t from = 2 * rate + 17;
        auto decoder = openAt(tone, rate);
        TrackRender render(rate, StretchEngine::Finer);
        render.setDecoder(decoder.get());
        render.start(0, {0.5, 3, 0});
        renderAll(render, 2 * static_cast<size_t>(rate));
        render.start(from, {});
        auto seeking = openAt(tone, rate);
        seeking->seek(from);
        std::vector<float> sought, block(2 * 1024);
        while (const int frames = seeking->read(block.data(), 1024)) {
            sought.insert(sought.end(), block.begin(), block.begin() + 2 * frames);
        }
        row(format("plain, %d Hz: after a stretch, from %lld", rate, static_cast<long long>(from)),
            format("%zu of %zu samples differ", differing(renderAll(render), sought),
                   sought.size()),
            "0");
        const auto left = leftOf(reference);
        const auto soughtLeft = leftOf(sought);
        float largest = 0;
        for (size_t i = 0; i < soughtLeft.size() && from + i < left.size(); ++i) {
            largest = std::max(largest, std::abs(soughtLeft[i] - left[from + i]));
        }
        row(format("plain, %d Hz: a seek against decoding through", rate),
            format("lands %+.3f samples off, largest difference %.4f",
                   seekOffset(left, soughtLeft, from, rate), largest),
            "0 samples");

        TrackPlayer player(rate, StretchEngine::Finer);
        loadOrExit(player, tone);
        std::this_thread::sleep_for(100ms);  // the worker renders ahead of play
        player.play();
        std::vector<float> heard;
        streamFrom(player, rate, 30, reference.size() / 2,
                   [&heard](const float* s, size_t n) { heard.insert(heard.end(), s, s + 2 * n); });
        heard.resize(reference.size());
        row(format("plain, %d Hz: player against decoder", rate),
            format("%zu", differing(heard, reference)) + of + " samples differ", "0");
    }
}

// ---- Time stays put

struct Beat {
    size_t clicks;
    double mean, sd, worst;
};
Beat beatOf(const std::vector<double>& onsetFrames, int rate, double expectedMs) {
    double sum = 0, squares = 0, worst = 0;
    for (size_t i = 1; i < onsetFrames.size(); ++i) {
        const double ioi = 1000 * (onsetFrames[i] - onsetFrames[i - 1]) / rate;
        sum += ioi;
        squares += ioi * ioi;
        worst = std::max(worst, std::abs(ioi - expectedMs));
    }
    const double n = static_cast<double>(onsetFrames.size() - 1);
    const double mean = sum / n;
    return {onsetFrames.size(), mean, std::sqrt(std::max(squares / n - mean * mean, 0.0)), worst};
}

void timingFigures(const std::string& clicks) {
    constexpr double kSpeed = 0.8;
    const auto text = [](const Beat& beat) {
        return format("%zu of %d clicks, IOI mean %.2f sd %.2f max|e| %.2f ms", beat.clicks,
                      kClicks, beat.mean, beat.sd, beat.worst);
    };
    for (int rate : kStreamRates) {
        const auto plain = onsets(leftOf(decoded(clicks, rate)), rate);
        row(format("beat as decoded, %d Hz (500 ms)", rate),
            text(beatOf(plain, rate, 1000 * kClickEvery)), "sd 0");
        for (StretchEngine engine : kEngines) {
            const auto found = onsets(leftOf(rendered(clicks, rate, engine, {kSpeed, 0, 0})), rate);
            row(format("beat at 80 %%, %s, %d Hz (625 ms)", nameOf(engine), rate),
                text(beatOf(found, rate, 1000 * kClickEvery / kSpeed)) +
                    format(", first %+.2f ms off",
                           1000 * (found.front() - plain.front() / kSpeed) / rate),
                "sd ≤ 1 ms");
        }
    }
}

// ---- The loop's seam

struct SeamCase {
    int rate;
    double speed;
    double loopSeconds;
    const char* loop;
};

void seamFigure(const std::string& tone, const SeamCase& c, StretchEngine engine) {
    constexpr int kPasses = 100;
    const int rate = c.rate;
    const auto from = static_cast<int64_t>(rate);
    const auto to = from + std::llround(c.loopSeconds * rate);
    TrackPlayer player(rate, engine);
    loadOrExit(player, tone);
    player.setLoop(TrackPlayer::Loop{from, to});
    player.seek(from);
    player.setTuning({c.speed, 0, 0});
    std::this_thread::sleep_for(300ms);
    player.play();

    const double pace =
        c.speed == 1.0 ? 30 : std::min(30.0, 0.5 / TrackRender::measureCost(rate, engine));
    const size_t passFrames = static_cast<size_t>(static_cast<double>(to - from) / c.speed);
    const size_t frames = kPasses * passFrames + passFrames / 2;
    std::vector<float> heard;
    heard.reserve(frames + 1024);
    std::vector<size_t> seams;  // the block each seam starts in
    int64_t position = from;
    streamFrom(player, rate, pace, frames, [&](const float* s, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            heard.push_back(s[2 * i]);
        }
        const int64_t now = player.playedFrames();
        if (now < position) {
            seams.push_back(heard.size() - n);
        }
        position = now;
    });

    // Each seam's 5 ms crossfade lies in its block or the next; the rest is the tone's own.
    const size_t block = static_cast<size_t>(rate) / 200;
    std::vector<bool> atSeam(heard.size(), false);
    for (size_t seam : seams) {
        std::fill(atSeam.begin() + static_cast<long>(seam - block),
                  atSeam.begin() + static_cast<long>(std::min(seam + 3 * block, heard.size())),
                  true);
    }
    const size_t skip = block * 2;  // the very start, from silence
    float seamStep = 0, ownStep = 0;
    for (size_t i = skip; i + 1 < heard.size(); ++i) {
        float& largest = atSeam[i] ? seamStep : ownStep;
        largest = std::max(largest, std::abs(heard[i + 1] - heard[i]));
    }
    // The level over one period of the tone (RMS), at the seams against elsewhere.
    const auto period = static_cast<size_t>(std::lround(rate / kToneHz));
    double lowest = 1e9, highest = 0, ownLowest = 1e9, ownHighest = 0;
    for (size_t at = skip; at + period <= heard.size(); at += period / 4) {
        double energy = 0;
        for (size_t i = at; i < at + period; ++i) {
            energy += double(heard[i]) * heard[i];
        }
        const double level = std::sqrt(energy / static_cast<double>(period));
        const bool seam = atSeam[at] || atSeam[at + period - 1];
        double& low = seam ? lowest : ownLowest;
        double& high = seam ? highest : ownHighest;
        low = std::min(low, level);
        high = std::max(high, level);
    }
    const Gaps gaps = gapsIn(heard.data() + skip, heard.size() - skip, rate);
    const auto dB = [](double ratio) { return 20 * std::log10(ratio); };
    row(format("seam, %d Hz, %.0f %% speed, %s, %.5f s loop", rate, 100 * c.speed, nameOf(engine),
               c.loopSeconds),
        format("%zu seams: step %.4f = %.2f x own, level %+.1f..%+.1f dB, %d gaps", seams.size(),
               seamStep, seamStep / ownStep, dB(lowest / ownLowest), dB(highest / ownHighest),
               gaps.count) +
            (gaps.count > 0 ? format(" of %.2f ms", gaps.longestMs) : ""),
        "step ≤ own, no gap");
    std::printf("  (%s; the tone's own step %.4f, level %.3f..%.3f; taken at %.0fx real time)\n",
                c.loop, ownStep, ownLowest, ownHighest, pace);
}

void seamFigures(const std::string& tone, StretchEngine engine) {
    const double halfPeriod = 0.5 / kToneHz;
    const SeamCase cases[] = {
        {48000, 1.0, 2.0, "880 periods of the tone"},
        {48000, 1.0, 2.0 + halfPeriod, "880.5 periods"},
        {48000, 0.6, 2.0, "880 periods of the tone"},
        {48000, 0.6, 2.0 + halfPeriod, "880.5 periods"},
        {64000, 1.0, 2.0, "880 periods of the tone"},
        {64000, 0.6, 2.0, "880 periods of the tone"},
    };
    for (const SeamCase& c : cases) {
        seamFigure(tone, c, engine);
    }
}

// ---- Cost

void costFigures(const std::string& band) {
    for (int rate : {kFileRate, kStreamRates[0], kStreamRates[1]}) {
        for (StretchEngine engine : kEngines) {
            auto decoder = openAt(band, rate);
            TrackRender render(rate, engine);
            render.setDecoder(decoder.get());
            render.start(0, {0.5, 0, 0});
            const double began = cpuSecondsOfThisThread();
            const size_t frames = renderAll(render).size() / 2;
            const double run =
                (cpuSecondsOfThisThread() - began) * rate / static_cast<double>(frames);
            row(format("cost at 50 %%, %s at %d Hz, CPU s per s", nameOf(engine), rate),
                format("measureCost %.3f, %.0f s of a band MP3 %.3f",
                       TrackRender::measureCost(rate, engine), static_cast<double>(frames) / rate,
                       run),
                engine == StretchEngine::Finer ? "R3 chosen at ≤ 0.25" : "");
        }
    }
    std::string picks;
    for (int rate : kStreamRates) {
        picks += format("%s at %d Hz  ", nameOf(TrackRender::measureEngine(rate)), rate);
    }
    row("measureEngine picks", picks, "");
}

// ---- At the null sink's monitor

// The monitor, mono, from the start.
class Recorder {
public:
    Recorder() {
        int fds[2];
        if (pipe(fds) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        const char* argv[] = {
            "parec",        "-d",           "nullsink.monitor",  "--format=float32le",
            "--rate=48000", "--channels=1", "--latency-msec=20", nullptr};
        posix_spawnp(&m_pid, "parec", &actions, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        m_reader = std::thread([this, in = fds[0]] {
            std::vector<float> chunk(480);
            ssize_t got;
            size_t have = 0;
            while ((got = read(in, reinterpret_cast<char*>(chunk.data()) + have,
                               chunk.size() * sizeof(float) - have)) > 0) {
                have += static_cast<size_t>(got);
                const size_t whole = have / sizeof(float);
                std::lock_guard lock(m_mutex);
                m_samples.insert(m_samples.end(), chunk.begin(), chunk.begin() + whole);
                std::memmove(chunk.data(), chunk.data() + whole, have - whole * sizeof(float));
                have -= whole * sizeof(float);
            }
            close(in);
        });
    }
    ~Recorder() {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
        m_reader.join();
    }
    size_t size() {
        std::lock_guard lock(m_mutex);
        return m_samples.size();
    }
    std::vector<float> samples(size_t from, size_t to) {
        std::lock_guard lock(m_mutex);
        return {m_samples.begin() + static_cast<long>(from),
                m_samples.begin() + static_cast<long>(to)};
    }
    double cpuSeconds() { return bench::threadCpuSeconds(m_reader); }

private:
    pid_t m_pid = 0;
    std::thread m_reader;
    std::mutex m_mutex;
    std::vector<float> m_samples;
};

// A busy loop in a shell per processor, as a machine busy otherwise.
class Load {
public:
    explicit Load(int processes) {
        for (int i = 0; i < processes; ++i) {
            const char* argv[] = {"sh", "-c", "while :; do :; done", nullptr};
            pid_t pid = 0;
            if (posix_spawnp(&pid, "sh", nullptr, nullptr, const_cast<char**>(argv), environ) ==
                0) {
                m_pids.push_back(pid);
            }
        }
    }
    ~Load() {
        for (pid_t pid : m_pids) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
    double cpuSeconds() const {
        double total = 0;
        for (pid_t pid : m_pids) {
            total += bench::processCpuSeconds(std::to_string(pid));
        }
        return total;
    }

private:
    std::vector<pid_t> m_pids;
};

// Where the whole machine stood still: a watcher per processor at real-time priority, above the
// engine's thread, wakes every millisecond; a stretch in which none of them could run is a stall
// of the machine itself (the virtual machine's host, say), which no program on it can ride out.
class StallWatcher {
public:
    using Span = std::pair<Clock::time_point, Clock::time_point>;
    StallWatcher() : m_late(std::max(1u, std::thread::hardware_concurrency())) {
        for (unsigned core = 0; core < m_late.size(); ++core) {
            m_threads.emplace_back([this, core] { watch(core); });
        }
    }
    ~StallWatcher() {
        m_stop = true;
        for (auto& thread : m_threads) {
            thread.join();
        }
    }
    // Stalls of at least 10 ms.
    std::vector<Span> stalls() {
        std::lock_guard lock(m_mutex);
        std::vector<Span> common = m_late.front();
        for (size_t core = 1; core < m_late.size(); ++core) {
            std::vector<Span> both;
            for (const auto& [from, to] : common) {
                for (const auto& [lateFrom, lateTo] : m_late[core]) {
                    if (std::max(from, lateFrom) < std::min(to, lateTo)) {
                        both.emplace_back(std::max(from, lateFrom), std::min(to, lateTo));
                    }
                }
            }
            common = std::move(both);
        }
        std::erase_if(common, [](const Span& span) { return span.second - span.first < 10ms; });
        return common;
    }
    double cpuSeconds() {
        double total = 0;
        for (auto& thread : m_threads) {
            total += bench::threadCpuSeconds(thread);
        }
        return total;
    }

private:
    void watch(unsigned core) {
        cpu_set_t set;
        CPU_ZERO(&set);
        CPU_SET(core, &set);
        pthread_setaffinity_np(pthread_self(), sizeof set, &set);
        sched_param param{};
        param.sched_priority = 50;
        pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
        auto last = Clock::now();
        while (!m_stop) {
            std::this_thread::sleep_for(1ms);
            const auto now = Clock::now();
            if (now - last > 4ms) {
                std::lock_guard lock(m_mutex);
                m_late[core].emplace_back(last + 1ms, now);
            }
            last = now;
        }
    }

    std::vector<std::vector<Span>> m_late;  // per processor: when its watcher could not run
    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    std::atomic<bool> m_stop = false;
};

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one;
    in >> one;
    return one;
}

// What the engine takes from the player, kept as it passes: a gap here is the player's, one only
// at the monitor lies between the engine and the sink.
class Tap : public StreamSource {
public:
    Tap(TrackPlayer& player, size_t frames) : m_player(player), m_left(frames) {}
    void mixInto(float* interleaved, int frames) override {
        m_player.mixInto(interleaved, frames);
        if (m_on.load()) {
            const size_t at = m_at.load();
            const size_t count = std::min(static_cast<size_t>(frames), m_left.size() - at);
            for (size_t i = 0; i < count; ++i) {
                m_left[at + i] = interleaved[2 * i];
            }
            m_at.store(at + count);
        }
    }
    bool active() const override { return m_player.active(); }
    // Between passes only, while the player is not active.
    void arm() {
        m_at.store(0);
        m_on.store(true);
    }
    std::vector<float> taken() {
        m_on.store(false);
        std::this_thread::sleep_for(50ms);  // the audio thread is out of its block
        return {m_left.begin(), m_left.begin() + static_cast<long>(m_at.load())};
    }

private:
    TrackPlayer& m_player;
    std::vector<float> m_left;
    std::atomic<bool> m_on{false};
    std::atomic<size_t> m_at{0};
};

// From the first loud sample to the last.
std::vector<float> soundOf(const std::vector<float>& s) {
    const auto loud = [](float x) { return std::abs(x) > 0.05f; };
    const auto first = std::find_if(s.begin(), s.end(), loud);
    const auto last = std::find_if(s.rbegin(), s.rend(), loud).base();
    return first < last ? std::vector<float>(first, last) : std::vector<float>();
}

void sinkPass(AudioEngine& engine, TrackPlayer& player, Tap& tap, Recorder& recorder,
              double seconds, int busyLoops) {
    Load load(busyLoops);
    StallWatcher watcher;
    std::this_thread::sleep_for(1s);
    // RZ77's share leaves out the bench's recorder and watchers, which run in this process.
    const auto ownCpu = [&recorder, &watcher] {
        return bench::processCpuSeconds("self") - recorder.cpuSeconds() - watcher.cpuSeconds();
    };
    const double ownBefore = ownCpu();
    const double loadBefore = load.cpuSeconds();
    const size_t from = recorder.size();
    tap.arm();
    player.play();
    engine.wake();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const size_t to = recorder.size();
    const double own = ownCpu() - ownBefore;
    const double loadShare = 100 * (load.cpuSeconds() - loadBefore) / seconds;
    const std::string average = loadAverage();
    player.stop();
    const std::vector<float> taken = soundOf(tap.taken());
    const Gaps playerGaps = gapsIn(taken.data(), taken.size(), engine.streamRate());

    const std::vector<float> s = soundOf(recorder.samples(from, to));
    const Gaps gaps = gapsIn(s.data(), s.size(), kMonitorRate);
    // The pitch leaves out the first half second, where a stretcher's phases settle.
    const size_t settled = std::min(s.size(), static_cast<size_t>(kMonitorRate) / 2);
    const ToneReading reading = worstReading(s.data() + settled, s.size() - settled, kMonitorRate,
                                             kToneHz, (s.size() - settled) / (kMonitorRate / 2));
    row(format("null sink, 50 %%, %.0f s, %d busy loops", seconds, busyLoops),
        format("%.1f s heard, pitch worst ", static_cast<double>(s.size()) / kMonitorRate) +
            readingText(reading) + format(", %d gaps", gaps.count) +
            (gaps.count > 0 ? format(" (longest %.1f ms)", gaps.longestMs) : ""),
        "±1 cent, 0 gaps");
    if (!gaps.at.empty()) {
        std::string times;
        for (size_t i = 0; i < std::min<size_t>(gaps.at.size(), 8); ++i) {
            times += format(" %.2f", gaps.at[i]);
        }
        std::printf("  (gaps at%s%s s into the sound)\n", times.c_str(),
                    gaps.at.size() > 8 ? " ..." : "");
    }
    const auto stalls = watcher.stalls();
    double longest = 0;
    for (const auto& [from, to] : stalls) {
        longest = std::max(longest, std::chrono::duration<double, std::milli>(to - from).count());
    }
    std::printf(
        "  (CPU: RZ77 %.1f %%, busy loops %.0f %% of a core; load average %s; the machine"
        " stood still for 10 ms or more %zu times, longest %.1f ms; gaps in what the engine took"
        " from the player: %d)\n",
        100 * own / seconds, loadShare, average.c_str(), stalls.size(), longest, playerGaps.count);
}

void sinkFigures() {
    const std::string tone = toneTrack("rz77-bench-long-tone", 40);
    Recorder recorder;
    std::this_thread::sleep_for(1800ms);  // an idle null sink drops its first monitor data
    if (recorder.size() == 0) {
        std::printf("null sink: nothing recorded from nullsink.monitor; left out\n");
        return;
    }
    AudioEngine engine(PulseAudioStream::opener());
    std::string error;
    if (!engine.start(error)) {
        std::printf("null sink: no sound server (%s); left out\n", error.c_str());
        return;
    }
    const StretchEngine picked = TrackRender::measureEngine(engine.streamRate());
    std::printf("null sink: stream rate %d Hz, %s\n", engine.streamRate(), nameOf(picked));
    TrackPlayer player(engine.streamRate(), picked);
    Tap tap(player, 70 * static_cast<size_t>(engine.streamRate()));
    engine.setStreamSource(&tap);
    loadOrExit(player, tone);
    player.setTuning({0.5, 0, 0});
    std::this_thread::sleep_for(1500ms);  // the engine aligns its queue in its first second
    sinkPass(engine, player, tap, recorder, 10, 0);
    sinkPass(engine, player, tap, recorder, 60, 2);
    sinkPass(engine, player, tap, recorder, 60, 6);  // three runnable for every processor
    engine.setStreamSource(nullptr);
}

// ---- Dropouts under load: the practice of an evening, on a machine busy with other work

// Counts, as the engine takes the player's sound, the runs of at least 2 ms below -80 dBFS once
// the track has sounded: the tone never goes quiet, so each is a dropout.
class DropoutTap : public StreamSource {
public:
    DropoutTap(TrackPlayer& player, int rate) : m_player(player), m_shortest(rate / 500) {}
    void mixInto(float* interleaved, int frames) override {
        m_player.mixInto(interleaved, frames);
        for (int i = 0; i < frames; ++i) {
            if (std::abs(interleaved[2 * i]) < 1e-4f) {
                ++m_run;
                continue;
            }
            if (m_heard && m_run >= m_shortest) {
                m_dropouts.fetch_add(1, std::memory_order_relaxed);
                m_longest.store(std::max(m_longest.load(std::memory_order_relaxed), m_run),
                                std::memory_order_relaxed);
            }
            m_heard = true;
            m_run = 0;
        }
    }
    bool active() const override { return m_player.active(); }
    int dropouts() const { return m_dropouts.load(); }
    int64_t longestFrames() const { return m_longest.load(); }

private:
    TrackPlayer& m_player;
    const int64_t m_shortest;
    bool m_heard = false;
    int64_t m_run = 0;
    std::atomic<int> m_dropouts{0};
    std::atomic<int64_t> m_longest{0};
};

// A 20 s A-B loop at 60 % with the speed trainer (up to 80 %, so every pass is stretched), the
// track page asking for the position and speed every 50 ms, busy loops beside it.
void dropoutFigures(double minutes, int busyLoops) {
    const std::string tone = toneTrack("rz77-bench-long-tone", 40);
    AudioEngine engine(SilentSink::opener());
    std::string error;
    if (!engine.start(error)) {
        std::printf("dropouts: %s; left out\n", error.c_str());
        return;
    }
    const int rate = engine.streamRate();
    TrackPlayer player(rate);
    DropoutTap tap(player, rate);
    engine.setStreamSource(&tap);
    loadOrExit(player, tone);
    player.setTuning({0.6, 0, 0});
    player.setTrainer(SpeedTrainer{0.6, 0.05, 0.8});
    player.setLoop(TrackPlayer::Loop{5 * int64_t{rate}, 25 * int64_t{rate}});
    player.seek(5 * int64_t{rate});
    Load load(busyLoops);
    std::this_thread::sleep_for(1s);
    const double loadBefore = load.cpuSeconds();
    player.play();
    engine.wake();
    const auto began = Clock::now();
    const auto end = began + std::chrono::duration<double>(minutes * 60);
    int64_t lowest = INT64_MAX;
    while (Clock::now() < end) {
        std::this_thread::sleep_for(50ms);
        player.playedFrames();
        player.playingSpeed();
        if (Clock::now() - began > 2s) {  // the ring's first fill left out
            lowest = std::min(lowest, player.aheadFrames());
        }
    }
    const double loadShare = 100 * (load.cpuSeconds() - loadBefore) / (minutes * 60);
    const std::string average = loadAverage();
    player.stop();
    engine.setStreamSource(nullptr);
    row(format("dropouts, %.0f min, loop at 60 %% + trainer, %d busy loops", minutes, busyLoops),
        format("%d dropouts (longest %.1f ms), ring at least %.2f s ahead", tap.dropouts(),
               1000.0 * static_cast<double>(tap.longestFrames()) / rate,
               static_cast<double>(lowest) / rate),
        "0 dropouts");
    std::printf("  (busy loops %.0f %% of a core; load average %s)\n", loadShare, average.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> asked(argv + 1, argv + argc);
    // dropouts [--minutes N] [--loops N]: 20 minutes under four busy loops unless told.
    const auto option = [&asked](const char* name, double fallback) {
        const auto found = std::find(asked.begin(), asked.end(), name);
        if (found == asked.end() || found + 1 == asked.end()) {
            return fallback;
        }
        const double value = std::atof((found + 1)->c_str());
        asked.erase(found, found + 2);
        return value;
    };
    const double dropoutMinutes = option("--minutes", 20);
    const int dropoutLoops = static_cast<int>(option("--loops", 4));
    const auto wanted = [&asked](const char* part) {
        return asked.empty() || std::find(asked.begin(), asked.end(), part) != asked.end();
    };
    const std::string tone = toneTrack("rz77-bench-tone", 6);
    if (wanted("pitch")) {
        pitchFigures(tone);
    }
    if (wanted("plain")) {
        bitForBitFigures(tone);
    }
    if (wanted("beat")) {
        timingFigures(clickTrack());
    }
    if (wanted("seam")) {
        seamFigures(tone, TrackRender::measureEngine(kStreamRates[0]));
    }
    if (wanted("cost")) {
        costFigures(bandTrack());
    }
    if (wanted("sink")) {
        sinkFigures();
    }
    if (std::find(asked.begin(), asked.end(), "dropouts") != asked.end()) {
        dropoutFigures(dropoutMinutes, dropoutLoops);
    }
}
