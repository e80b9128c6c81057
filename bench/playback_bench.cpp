// Plays a 320 kbit/s stereo track through the real MP3 player on the audio engine into the sound
// server's null sink, records the sink's monitor from the start and prints how fast PLAY, PAUSE
// and STOP are heard, whether a resume goes on at the paused sample and a stop starts again at
// the first, how 200 random requests come out, and what it costs.
// Usage: playback_bench [--cycles N] [--format EXTENSION] (needs a sound server with a null sink
// named nullsink); with a format (flac, m4a, ogg, opus, wav...) the track is that MP3 converted by
// ffmpeg, played as the practice panel's OPEN plays it.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "audio/AudioEngine.h"
#include "audio/PulseAudioStream.h"
#include "audio/TrackDecoder.h"
#include "common/MessageReporter.h"
#include "mp3/TrackPlaybackControl.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
constexpr int kRate = 48000;
constexpr int kChunk = 240;  // 5 ms: each read of the recorder is timed

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// The monitor, read in 5 ms chunks, each with the moment it arrived.
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
        const char* argv[] = {"pacat",
                              "--record",
                              "-d",
                              "nullsink.monitor",
                              "--format=float32le",
                              "--rate=48000",
                              "--channels=1",
                              "--latency-msec=5",
                              nullptr};
        posix_spawnp(&m_pid, "pacat", &actions, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        m_reader = std::thread([this, in = fds[0]] {
            std::vector<float> chunk(kChunk);
            size_t have = 0;
            ssize_t got;
            while ((got = read(in, reinterpret_cast<char*>(chunk.data()) + have,
                               chunk.size() * sizeof(float) - have)) > 0) {
                have += static_cast<size_t>(got);
                if (have == chunk.size() * sizeof(float)) {
                    std::lock_guard lock(m_mutex);
                    m_samples.insert(m_samples.end(), chunk.begin(), chunk.end());
                    m_arrived.push_back(Clock::now());
                    have = 0;
                }
            }
            close(in);
        });
    }
    ~Recorder() {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
        m_reader.join();
    }
    // The first sample that arrived after t.
    size_t indexAfter(Clock::time_point t) {
        std::lock_guard lock(m_mutex);
        const auto at = std::upper_bound(m_arrived.begin(), m_arrived.end(), t);
        return static_cast<size_t>(at - m_arrived.begin()) * kChunk;
    }
    Clock::time_point arrivalOf(size_t index) {
        std::lock_guard lock(m_mutex);
        return m_arrived[std::min(index / kChunk, m_arrived.size() - 1)];
    }
    std::vector<float> samples() {
        std::lock_guard lock(m_mutex);
        return m_samples;
    }
    double cpuSeconds() { return bench::threadCpuSeconds(m_reader); }

private:
    pid_t m_pid = 0;
    std::thread m_reader;
    std::mutex m_mutex;
    std::vector<float> m_samples;
    std::vector<Clock::time_point> m_arrived;
};

class PrintingReporter : public MessageReporter {
public:
    void show(const std::string& text) override { std::printf("message: %s\n", text.c_str()); }
};

bool loud(float sample) {
    return std::abs(sample) > 0.01f;
}

// From `from`, the first sample that is loud, or that starts 50 ms of silence.
size_t firstLoud(const std::vector<float>& s, size_t from) {
    while (from < s.size() && !loud(s[from])) {
        ++from;
    }
    return from;
}
size_t firstSilence(const std::vector<float>& s, size_t from) {
    for (size_t quiet = 0; from + quiet < s.size(); ++from) {
        quiet = 0;
        while (from + quiet < s.size() && std::abs(s[from + quiet]) < 1e-3f && quiet < kRate / 20) {
            ++quiet;
        }
        if (quiet == kRate / 20) {
            return from;
        }
    }
    return s.size();
}

// Where in the track the 10 ms of recording at `at` come from, searched near `expected`.
long matchInTrack(const std::vector<float>& recording, size_t at, const std::vector<float>& track,
                  long expected, long range) {
    long best = -1;
    double bestScore = -1;
    const size_t length = kRate / 100;
    for (long k = std::max(0L, expected - range); k <= expected + range; ++k) {
        if (static_cast<size_t>(k) + length > track.size() || at + length > recording.size()) {
            break;
        }
        double dot = 0, energy = 0;
        for (size_t i = 0; i < length; ++i) {
            dot += recording[at + i] * track[static_cast<size_t>(k) + i];
            energy += track[static_cast<size_t>(k) + i] * track[static_cast<size_t>(k) + i];
        }
        const double score = energy > 0 ? dot / std::sqrt(energy) : 0;
        if (score > bestScore) {
            bestScore = score;
            best = k;
        }
    }
    return best;
}

std::string makeTrack() {
    std::mt19937 random(5);
    std::vector<int16_t> noise(44100 * 2 * 40);
    for (int16_t& sample : noise) {
        sample = static_cast<int16_t>(static_cast<int>(random() % 24000) - 12000);
    }
    return bench::encodeMp3("rz77-bench-noise", noise);
}

std::vector<float> decodedMono(const std::string& path) {
    std::string error;
    auto decoder = openTrackDecoder(path, error);
    decoder->setOutputRate(kRate, error);
    std::vector<float> mono, block(2 * 4096);
    while (const int frames = decoder->read(block.data(), 4096)) {
        for (int i = 0; i < frames; ++i) {
            mono.push_back((block[2 * i] + block[2 * i + 1]) / 2);
        }
    }
    return mono;
}

long rssKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return 0;
}

struct Event {
    enum Kind { Play, Pause, Stop } kind;
    Clock::time_point at;
    int64_t trackFrame;  // where the track stood, for a pause
};

}  // namespace

int main(int argc, char** argv) {
    int cycles = 200;
    std::string format = "mp3";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--cycles") {
            cycles = std::stoi(argv[i + 1]);
        } else if (option == "--format") {
            format = argv[i + 1];
        }
    }
    std::string path = makeTrack();
    if (format != "mp3") {
        const std::string converted = path + "." + format;
        const std::string command = "ffmpeg -v error -y -i '" + path + "' '" + converted + "'";
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "cannot make the %s track\n", format.c_str());
            return 1;
        }
        path = converted;
    }
    const std::vector<float> track = decodedMono(path);
    Recorder recorder;
    std::this_thread::sleep_for(1800ms);  // an idle null sink drops its first monitor data

    PrintingReporter reporter;
    AudioEngine engine(PulseAudioStream::opener());
    TrackPlaybackControl player(engine, reporter);
    player.setFile(path);
    std::this_thread::sleep_for(1500ms);  // the engine aligns its queue in its first second

    // RZ77's share leaves out the bench's recorder, which runs in this process.
    const auto cpuNow = [&recorder, servers = bench::soundServerPids()] {
        return std::pair(bench::processCpuSeconds("self") - recorder.cpuSeconds(),
                         bench::soundServerCpuSeconds(servers));
    };
    const auto shareSince = [&cpuNow](std::pair<double, double> from, double seconds) {
        const auto to = cpuNow();
        return std::pair(100 * (to.first - from.first) / seconds,
                         100 * (to.second - from.second) / seconds);
    };
    const auto idleCpu = cpuNow();
    std::this_thread::sleep_for(5s);
    const auto idleShare = shareSince(idleCpu, 5);

    std::vector<Event> events;
    auto request = [&](Event::Kind kind) {
        events.push_back({kind, Clock::now(), 0});
        if (kind == Event::Play) {
            player.play();
        } else if (kind == Event::Pause) {
            player.pause();
        } else {
            player.stop();
        }
    };
    const auto playCpu = cpuNow();
    request(Event::Play);
    std::this_thread::sleep_for(10s);
    const auto playShare = shareSince(playCpu, 10);
    request(Event::Pause);
    std::this_thread::sleep_for(1s);
    request(Event::Play);
    std::this_thread::sleep_for(1s);
    request(Event::Stop);
    std::this_thread::sleep_for(1s);
    request(Event::Play);
    std::this_thread::sleep_for(1s);
    const size_t scripted = events.size();
    std::mt19937 random(77);
    for (int i = 0; i < cycles; ++i) {
        request(static_cast<Event::Kind>(random() % 3));
        std::this_thread::sleep_for(std::chrono::milliseconds(150 + random() % 200));
    }
    request(Event::Stop);
    std::this_thread::sleep_for(500ms);
    const long rss = rssKb();
    const std::vector<float> s = recorder.samples();

    // What each request should be heard as: sound after a play, unless paused or stopped since.
    bool sounding = false;
    int right = 0, judged = 0;
    std::vector<double> playDelays, pauseDelays, stopDelays;
    long resumeOffset = -1, restartOffset = -1;
    long pausedAt = -1;
    size_t lastLoudBeforePause = 0;
    for (size_t e = 0; e < events.size(); ++e) {
        const Event& event = events[e];
        const size_t from = recorder.indexAfter(event.at - 5ms);
        const size_t until =
            e + 1 < events.size() ? recorder.indexAfter(events[e + 1].at - 5ms) : s.size();
        const bool shouldSound = event.kind == Event::Play;
        const bool changes = shouldSound != sounding;
        sounding = shouldSound;
        const size_t change = shouldSound ? firstLoud(s, from) : firstSilence(s, from);
        if (change < until && changes) {
            (shouldSound                  ? playDelays
             : event.kind == Event::Pause ? pauseDelays
                                          : stopDelays)
                .push_back(msBetween(event.at, recorder.arrivalOf(change)));
        }
        // Right when the state holds from 60 ms after the request to the next one.
        const size_t settled = from + kRate * 6 / 100;
        if (e >= scripted && settled < until) {
            ++judged;
            const auto begin = s.begin() + static_cast<long>(settled);
            const auto end = s.begin() + static_cast<long>(until);
            const bool allLoudEnough =
                std::count_if(begin, end, loud) > static_cast<long>(until - settled) / 2;
            const bool allQuiet =
                std::all_of(begin, end, [](float x) { return std::abs(x) < 1e-3f; });
            right += shouldSound ? allLoudEnough : allQuiet;
        }
        if (e == 1) {  // the first pause: where did the track stand?
            const size_t silence = firstSilence(s, from);
            lastLoudBeforePause = silence;
            pausedAt = matchInTrack(s, silence - kRate / 100, track,
                                    static_cast<long>(kRate * 10.0), kRate / 2) +
                       kRate / 100;
        }
        if (e == 2) {
            resumeOffset = matchInTrack(s, firstLoud(s, from), track, pausedAt, kRate / 10);
        }
        if (e == 4) {
            restartOffset = matchInTrack(s, firstLoud(s, from), track, 0, kRate / 10);
        }
    }
    static_cast<void>(lastLoudBeforePause);
    const auto range = [](const std::vector<double>& v) {
        if (v.empty()) {
            return std::string("none");
        }
        const auto [low, high] = std::minmax_element(v.begin(), v.end());
        char text[64];
        std::snprintf(text, sizeof text, "%.1f - %.1f ms (%zu)", *low, *high, v.size());
        return std::string(text);
    };
    std::printf("track                       %s\n", format.c_str());
    std::printf("stream rate                 %d Hz\n", engine.streamRate());
    std::printf("PLAY -> sound at monitor    %s\n", range(playDelays).c_str());
    std::printf("PAUSE -> silence at monitor %s\n", range(pauseDelays).c_str());
    std::printf("STOP -> silence at monitor  %s\n", range(stopDelays).c_str());
    std::printf("resume goes on at           %+.2f ms from where it paused\n",
                (resumeOffset - pausedAt) * 1000.0 / kRate);
    std::printf("PLAY after STOP starts at   %.2f ms into the track\n",
                restartOffset * 1000.0 / kRate);
    std::printf("random requests right       %d of %d\n", right, judged);
    std::printf("CPU, nothing sounding       RZ77 %.2f %%, sound server %.2f %% of a core\n",
                idleShare.first, idleShare.second);
    std::printf("CPU, the track playing      RZ77 %.2f %%, sound server %.2f %% of a core\n",
                playShare.first, playShare.second);
    std::printf("RSS                         %.1f MB\n", rss / 1024.0);
    std::printf("(times at the monitor include its 5 ms reads and the sink's own latency)\n");
}
