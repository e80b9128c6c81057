// What each audio format costs to play, through openTrackDecoder as the program opens it (with
// libmpg123, libsndfile or FFmpeg, as it chooses). First the resident memory for a three-hour FLAC
// loaded and scanned for its overview; then a five-minute stereo track (strummed chords over a
// hi-hat, 44.1 kHz) encoded at run time with the encoders Debian ships, and for each format the CPU
// seconds to decode it whole (at the file's rate, and converted to a 48 kHz stream), the time to
// open it, PLAY to the first sound the player gives the stream when PLAY comes right after the
// open, and its first second against a reference decode (the source for lossless formats,
// FFmpeg's own command line for lossy ones). `track_formats_bench [memory|cost]`, both when none
// is named.
#include <time.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "audio/FfmpegDecoder.h"
#include "audio/Mp3Decoder.h"
#include "audio/SndfileDecoder.h"
#include "audio/TrackDecoder.h"
#include "audio/TrackPlayer.h"
#include "practice/TrackPeaks.h"

namespace {

constexpr int kRate = 44100;
constexpr int kSeconds = 300;
constexpr int kStreamRate = 48000;
const std::string kDir = "/tmp/rz77-bench-formats";
constexpr int kPlays = 5;  // opened and played this often, the slowest shown

double cpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9;
}

double since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

long residentKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string name;
    long kb = 0;
    while (in >> name) {
        if (name == field) {
            in >> kb;
            return kb;
        }
        in.ignore(1 << 12, '\n');
    }
    return 0;
}

bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// A chord strummed every half second (decaying strings) and a hi-hat of noise between, stereo.
std::vector<int16_t> band(int seconds) {
    std::vector<int16_t> samples(2 * static_cast<size_t>(seconds) * kRate);
    std::minstd_rand noise(7);
    std::uniform_real_distribution<double> hiss(-1, 1);
    const double chord[] = {82.41, 123.47, 164.81, 207.65, 246.94, 329.63};
    for (size_t i = 0; i < samples.size() / 2; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double sinceStrum = std::fmod(t, 0.5), sinceHat = std::fmod(t + 0.25, 0.5);
        double strings = 0;
        for (const double hz : chord) {
            strings += std::sin(2 * M_PI * hz * t) * std::exp(-3 * sinceStrum);
        }
        const double hat = hiss(noise) * std::exp(-60 * sinceHat);
        samples[2 * i] = static_cast<int16_t>(3000 * strings + 4000 * hat);
        samples[2 * i + 1] = static_cast<int16_t>(2500 * strings - 3000 * hat);
    }
    return samples;
}

std::vector<float> readFloats(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::vector<float> samples(static_cast<size_t>(in.tellg()) / sizeof(float));
    in.seekg(0).read(reinterpret_cast<char*>(samples.data()),
                     static_cast<std::streamsize>(samples.size() * sizeof(float)));
    return samples;
}

struct Format {
    const char* name;
    const char* file;
    std::string encode;  // the file's path follows
    bool lossless;
};

std::vector<Format> formats(const std::string& raw) {
    const std::string in = "-f s16le -ar 44100 -ac 2 -i " + raw;
    return {
        {"WAV, 16 bit", "band.wav", "ffmpeg -y " + in, true},
        {"AIFF, 16 bit", "band.aiff", "ffmpeg -y " + in, true},
        {"FLAC", "band.flac", "ffmpeg -y " + in, true},
        {"MP3, 320 kbit/s (lame)", "band.mp3",
         "lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -b 320 " + raw, false},
        {"M4A, AAC 256 kbit/s", "band.m4a", "ffmpeg -y " + in + " -c:a aac -b:a 256k", false},
        {"Ogg Vorbis, q 6 (oggenc)", "band.ogg",
         "oggenc -Q -q 6 --raw --raw-rate=44100 --raw-chan=2 " + raw + " -o", false},
        {"Opus, 160 kbit/s (opusenc, 48 kHz)", "band.opus",
         "opusenc --quiet --bitrate 160 --raw --raw-rate 44100 --raw-chan 2 " + raw, false},
    };
}

// The whole file decoded, as the player's worker and the overview's scan decode it.
double decodeCost(const std::string& path, int outputRate) {
    std::string error;
    const double start = cpuSeconds();
    auto decoder = openTrackDecoder(path, error);
    if (!decoder ||
        !decoder->setOutputRate(outputRate > 0 ? outputRate : decoder->fileRate(), error)) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
        std::exit(1);
    }
    std::vector<float> block(2 * 4096);
    while (decoder->read(block.data(), 4096) > 0) {
    }
    return cpuSeconds() - start;
}

// Opened as TrackPlaybackControl opens a file, PLAY at once, the stream asking every 1 ms for a
// 1 ms block as the engine's thread does: when the first block with sound comes.
void openAndPlay(const std::string& path, double& openMs, double& firstSoundMs) {
    TrackPlayer player(kStreamRate, StretchEngine::Finer);
    std::vector<float> block(2 * kStreamRate / 1000);
    const auto opening = std::chrono::steady_clock::now();
    std::string error;
    if (!player.load(openTrackDecoder(path, error), error)) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
        std::exit(1);
    }
    openMs = since(opening);
    const auto pressed = std::chrono::steady_clock::now();
    player.play();
    firstSoundMs = -1;
    while (firstSoundMs < 0 && since(pressed) < 2000) {
        std::fill(block.begin(), block.end(), 0.0f);
        player.mixInto(block.data(), kStreamRate / 1000);
        for (const float sample : block) {
            if (sample != 0) {
                firstSoundMs = since(pressed);
                break;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

const char* decoderName(const TrackDecoder& decoder) {
    return dynamic_cast<const Mp3Decoder*>(&decoder)       ? "libmpg123"
           : dynamic_cast<const SndfileDecoder*>(&decoder) ? "libsndfile"
           : dynamic_cast<const FfmpegDecoder*>(&decoder)  ? "FFmpeg"
                                                           : "?";
}

// The largest difference over the first second, and how many samples differ at all; the decoder
// openTrackDecoder chose.
const char* againstReference(const std::string& path, const std::vector<float>& reference,
                             float& largest, int& differing) {
    std::string error;
    auto decoder = openTrackDecoder(path, error);
    decoder->setOutputRate(decoder->fileRate(), error);
    const int frames = decoder->fileRate();
    std::vector<float> first(2 * static_cast<size_t>(frames));
    const int got = decoder->read(first.data(), frames);
    largest = 0;
    differing = 0;
    for (size_t i = 0; i < 2 * static_cast<size_t>(got) && i < reference.size(); ++i) {
        const float difference = std::abs(first[i] - reference[i]);
        largest = std::max(largest, difference);
        differing += difference != 0;
    }
    return decoderName(*decoder);
}

// What the first file that is not MP3 costs on top of its own open: FFmpeg's libraries loaded.
void firstUse() {
    const std::string path = kDir + "/second.m4a";
    run("ffmpeg -y -f lavfi -i sine=duration=1 -c:a aac " + path);
    const long before = residentKb("VmRSS:");
    const auto start = std::chrono::steady_clock::now();
    std::string error;
    const bool opened = openTrackDecoder(path, error) != nullptr;
    std::printf(
        "FFmpeg loaded at the first file that is not MP3: %s in %.1f ms, %.1f MB more "
        "resident memory\n\n",
        opened ? "opened" : error.c_str(), since(start), (residentKb("VmRSS:") - before) / 1024.0);
}

void cost() {
    std::printf("a %d-minute stereo track, 44.1 kHz; CPU seconds on this process's clock\n\n",
                kSeconds / 60);
    const std::string raw = kDir + "/band.raw";
    {
        const std::vector<int16_t> samples = band(kSeconds);
        std::ofstream(raw, std::ios::binary)
            .write(reinterpret_cast<const char*>(samples.data()),
                   static_cast<std::streamsize>(samples.size() * sizeof(int16_t)));
    }
    firstUse();
    std::vector<float> source;
    for (const int16_t sample : band(1)) {
        source.push_back(sample / 32768.0f);
    }
    std::printf("%-36s %-10s %6s %9s %9s %8s %8s %11s %9s\n", "format", "decoder", "MB", "decode s",
                "to 48k s", "% core", "open ms", "PLAY->sound", "vs ref");
    for (const Format& format : formats(raw)) {
        const std::string path = kDir + "/" + format.file;
        if (!run(format.encode + " " + path)) {
            std::fprintf(stderr, "cannot encode %s\n", format.file);
            std::exit(1);
        }
        std::ifstream file(path, std::ios::binary | std::ios::ate);
        const double megabytes = static_cast<double>(file.tellg()) / 1e6;
        const double atFileRate = decodeCost(path, 0);
        const double toStream = decodeCost(path, kStreamRate);
        double openMs = 0, firstSoundMs = 0;
        for (int play = 0; play < kPlays; ++play) {
            double open = 0, firstSound = 0;
            openAndPlay(path, open, firstSound);
            openMs = std::max(openMs, open);
            firstSoundMs = firstSound < 0 ? firstSound : std::max(firstSoundMs, firstSound);
        }
        std::vector<float> reference = source;
        if (!format.lossless) {
            run("ffmpeg -v error -i " + path + " -t 1 -f f32le -ac 2 -y " + kDir + "/ref.f32");
            reference = readFloats(kDir + "/ref.f32");
        }
        float largest = 0;
        int differing = 0;
        const char* decoder = againstReference(path, reference, largest, differing);
        std::printf("%-36s %-10s %6.1f %9.3f %9.3f %7.3f%% %8.1f %8.1f ms %9.2g (%d differ)\n",
                    format.name, decoder, megabytes, atFileRate, toStream,
                    100 * toStream / kSeconds, openMs, firstSoundMs, largest, differing);
    }
    std::printf(
        "\n%% core: decoding and converting to 48 kHz as a share of one core while it "
        "plays.\nopen, PLAY->sound: the slowest of %d.\nvs ref: the largest difference "
        "over the first second, against the source (lossless) or FFmpeg's command-line "
        "decode (lossy).\n",
        kPlays);
}

void memory() {
    const std::string path = kDir + "/long.flac";
    std::printf("a three-hour FLAC (a 440 Hz tone, 44.1 kHz stereo, 16 bit)\n");
    if (!run("ffmpeg -y -f lavfi -i sine=frequency=440:sample_rate=44100:duration=10800 -ac 2 " +
             path)) {
        std::fprintf(stderr, "cannot encode the long FLAC\n");
        std::exit(1);
    }
    const long before = residentKb("VmRSS:");
    const auto row = [before](const char* what) {
        std::printf("%-44s %7.1f MB now, %7.1f MB at most (beyond %.1f MB at the start)\n", what,
                    (residentKb("VmRSS:") - before) / 1024.0,
                    (residentKb("VmHWM:") - before) / 1024.0, before / 1024.0);
    };
    TrackPlayer player(kStreamRate);
    std::string error;
    if (!player.load(openTrackDecoder(path, error), error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::exit(1);
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    row("player loaded (decoder, ring, stretcher)");
    std::atomic<bool> cancel{false};
    const TrackPeaks peaks = scanPeaks(path, cancel);
    row("and the overview scanned");
    std::printf("overview: %.1f s of track in %zu peaks\n\n", peaks.lengthSeconds(),
                peaks.low.size());
}

}  // namespace

int main(int argc, char** argv) {
    const std::string only = argc > 1 ? argv[1] : "";
    run("mkdir -p " + kDir);
    // The memory first, while nothing else has been allocated and FFmpeg is not loaded.
    if (only.empty() || only == "memory") {
        memory();
    }
    if (only.empty() || only == "cost") {
        cost();
    }
    run("rm -rf " + kDir);
}
