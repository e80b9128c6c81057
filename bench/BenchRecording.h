#pragma once
// What the benches that listen to the built-in synthesizer share: the real MIDI system with a
// log of every click it is handed, a recorder of the null sink's monitor with the sink's clock as
// ours saw it, and the onsets of clicks in a recording.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "BenchSupport.h"
#include "audio/AudioEngine.h"
#include "audio/PulseAudioStream.h"
#include "common/MessageReporter.h"
#include "midi/MidiSystem.h"
#include "midi/SystemMidi.h"

extern char** environ;

namespace bench {

using Clock = std::chrono::steady_clock;
constexpr int kRecordRate = 48000;

inline double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

inline double secondsOf(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

inline Clock::duration toDuration(double seconds) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

inline double median(std::vector<double> values) {
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

inline double percentile(std::vector<double> values, double q) {
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(q * (values.size() - 1))];
}

// The real MIDI system, keeping the stamp, key and velocity of every click it is handed.
class StampingMidi : public MidiSystem {
public:
    struct Stamp {
        Clock::time_point due;
        int note;
        int velocity;
    };
    std::vector<Stamp> clicks;

    std::vector<Clock::time_point> dues() const {
        std::vector<Clock::time_point> times;
        for (const Stamp& click : clicks) {
            times.push_back(click.due);
        }
        return times;
    }
    AudioEngine& engine() { return m_engine; }
    int32_t deviceCount() override { return m_real.deviceCount(); }
    MidiResult deviceName(int32_t id, std::string& name) override {
        return m_real.deviceName(id, name);
    }
    MidiResult open(int32_t id, uint32_t& handle) override { return m_real.open(id, handle); }
    MidiResult close(uint32_t handle) override { return m_real.close(handle); }
    MidiResult sendShort(uint32_t handle, uint32_t message, Clock::time_point due) override {
        if ((message & 0xFF) == 0x9A) {
            clicks.push_back({due, int((message >> 8) & 0x7F), int((message >> 16) & 0x7F)});
        }
        return m_real.sendShort(handle, message, due);
    }
    std::string errorText(MidiResult code) override { return m_real.errorText(code); }
    // Asked of the real device: what is shown "as heard" waits for its latency.
    Clock::duration heardAfter(uint32_t handle) override { return m_real.heardAfter(handle); }
    void setReferencePitch(double a4) override { m_real.setReferencePitch(a4); }

private:
    AudioEngine m_engine{PulseAudioStream::opener()};
    SystemMidi m_real{m_engine};
};

class PrintingReporter : public MessageReporter {
public:
    void show(const std::string& text) override {
        std::fprintf(stderr, "MIDI: %s\n", text.c_str());
    }
};

// When each sample of a recording was recorded, on our clock.
struct SinkClock {
    Clock::time_point start;  // of sample `from`
    size_t from;
    double perSecond;
    Clock::time_point timeOf(size_t sample) const { return timeAt(double(sample)); }
    // Between samples, for onsets found to a fraction of one.
    Clock::time_point timeAt(double sample) const {
        return start + toDuration((sample - double(from)) / perSecond);
    }
};

// Records the null sink's monitor from the first moment. The sink keeps its own clock, which
// may run apart from ours: the recording's real rate and the time of its first sample come from
// when the reads arrived (reads come late, never early).
class MonitorRecorder {
public:
    MonitorRecorder() {
        int ends[2];
        if (pipe(ends) != 0) {
            std::perror("pipe");
            std::exit(1);
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, ends[0]);
        posix_spawn_file_actions_addclose(&actions, ends[1]);
        std::vector<std::string> words = {"chrt",
                                          "-r",
                                          "10",
                                          "pacat",
                                          "--record",
                                          "-d",
                                          "nullsink.monitor",
                                          "--format=float32le",
                                          "--rate=48000",
                                          "--channels=1",
                                          "--latency-msec=20"};
        std::vector<char*> argv;
        for (std::string& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        if (posix_spawnp(&m_pid, "chrt", &actions, nullptr, argv.data(), environ) != 0) {
            std::perror("pacat");
            std::exit(1);
        }
        posix_spawn_file_actions_destroy(&actions);
        close(ends[1]);
        m_pipe = fdopen(ends[0], "r");
        m_reader = std::thread([this] {
            float buffer[480];
            size_t got;
            while ((got = fread(buffer, sizeof(float), 480, m_pipe)) > 0) {
                const auto now = Clock::now();
                std::lock_guard lock(m_mutex);
                m_samples.insert(m_samples.end(), buffer, buffer + got);
                m_reads.emplace_back(now, m_samples.size());
            }
        });
    }
    void dump(const char* path) {
        std::lock_guard lock(m_mutex);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(m_samples.data()),
                   static_cast<std::streamsize>(m_samples.size() * sizeof(float)));
    }
    // Only the recorder this one started is stopped.
    ~MonitorRecorder() {
        kill(m_pid, SIGTERM);
        m_reader.join();
        fclose(m_pipe);
        waitpid(m_pid, nullptr, 0);
    }
    // The recorder's own share of this process's processor time, which is not RZ77's.
    double cpuSeconds() { return bench::threadCpuSeconds(m_reader); }
    size_t size() {
        std::lock_guard lock(m_mutex);
        return m_samples.size();
    }
    std::vector<float> samples(size_t from, size_t to) {
        std::lock_guard lock(m_mutex);
        return {m_samples.begin() + from, m_samples.begin() + std::min(to, m_samples.size())};
    }
    // The sink's clock as ours saw it while samples from..to were recorded, fitted through the
    // earliest read of each second. Reads come late, never early, but how late even the earliest
    // comes wanders by about 0.1 ms, and steps by up to 2 ms when the sink changes its own
    // latency. Single reads at the two ends would misjudge the rate by tens of parts per million,
    // enough to feign a drift, so the fit takes the median of the slopes between all pairs and the
    // median offset, which such steps do not move.
    SinkClock clockOf(size_t from, size_t to) {
        std::lock_guard lock(m_mutex);
        std::vector<std::pair<double, double>> points;  // samples since from, seconds since t0
        const auto t0 = m_reads.empty() ? Clock::time_point{} : m_reads.front().first;
        for (size_t second = from; second + kRecordRate <= to; second += kRecordRate) {
            if (const auto read = earliestRead(second, second + kRecordRate)) {
                points.emplace_back(double(read->second - from), secondsOf(read->first - t0));
            }
        }
        if (points.size() < 2) {
            return {t0, from, kRecordRate};
        }
        std::vector<double> slopes, offsets;
        for (size_t i = 0; i < points.size(); ++i) {
            for (size_t j = i + 1; j < points.size(); ++j) {
                slopes.push_back((points[j].second - points[i].second) /
                                 (points[j].first - points[i].first));
            }
        }
        const double secondsPerSample = median(slopes);
        for (const auto& [samples, seconds] : points) {
            offsets.push_back(seconds - samples * secondsPerSample);
        }
        return {t0 + toDuration(median(offsets)), from, 1 / secondsPerSample};
    }

private:
    pid_t m_pid = 0;
    FILE* m_pipe;
    std::thread m_reader;
    std::mutex m_mutex;
    std::vector<float> m_samples;
    std::vector<std::pair<Clock::time_point, size_t>> m_reads;

    // The read among those ending within from..to that came soonest for its samples.
    std::optional<std::pair<Clock::time_point, size_t>> earliestRead(size_t from, size_t to) const {
        std::optional<std::pair<Clock::time_point, size_t>> best;
        double bestOffset = 0;
        for (const auto& read : m_reads) {
            if (read.second < from || read.second > to) {
                continue;
            }
            const double offset =
                secondsOf(read.first.time_since_epoch()) - double(read.second) / kRecordRate;
            if (!best || offset < bestOffset) {
                best = read;
                bestOffset = offset;
            }
        }
        return best;
    }
};

// Onsets to the sample: the first sample above the threshold after `quiet` samples below it
// (50 ms unless clicks come closer). A click counts once it is loud enough to be heard; its onset
// is where its sound starts, a few samples earlier, so that a click whose first waves are softer
// is not read as late.
inline std::vector<size_t> findOnsets(const std::vector<float>& s, float threshold,
                                      size_t quiet = kRecordRate / 20) {
    constexpr float kSilence = 1e-4f;  // a few steps of the sink's 16-bit samples
    std::vector<size_t> found;
    size_t below = kRecordRate;
    for (size_t i = 0; i < s.size(); ++i) {
        if (std::abs(s[i]) >= threshold) {
            if (below >= quiet) {
                size_t start = i;
                while (start > 0 && i - start < kRecordRate / 500 &&
                       std::abs(s[start - 1]) > kSilence) {
                    --start;
                }
                found.push_back(start);
            }
            below = 0;
        } else {
            ++below;
        }
    }
    return found;
}

}  // namespace bench
