#pragma once
// What the benches share: processor time of RZ77, of one thread and of the sound server, and
// test tracks encoded at run time.

#include <pthread.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace bench {

// User and system time of a process ("self" for this one, to the microsecond; others from
// /proc, to the hundredth of a second).
inline double processCpuSeconds(const std::string& pid) {
    if (pid == "self") {
        timespec used{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
        return double(used.tv_sec) + used.tv_nsec * 1e-9;
    }
    std::ifstream in("/proc/" + pid + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), {});
    const auto close = text.rfind(')');
    if (close == std::string::npos) {
        return 0;
    }
    std::istringstream fields(text.substr(close + 2));
    std::string skip;
    for (int i = 0; i < 11; ++i) {
        fields >> skip;
    }
    double user = 0, system = 0;
    fields >> user >> system;
    return (user + system) / 100.0;
}

inline double threadCpuSeconds(std::thread& thread) {
    clockid_t clock;
    timespec used{};
    if (pthread_getcpuclockid(thread.native_handle(), &clock) != 0 ||
        clock_gettime(clock, &used) != 0) {
        return 0;
    }
    return double(used.tv_sec) + used.tv_nsec * 1e-9;
}

// The sound server's processes: PulseAudio, or PipeWire with its PulseAudio service.
inline std::vector<std::string> soundServerPids() {
    std::vector<std::string> pids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream comm(entry.path() / "comm");
        std::string name;
        if (std::getline(comm, name) &&
            (name == "pulseaudio" || name == "pipewire" || name == "pipewire-pulse")) {
            pids.push_back(entry.path().filename().string());
        }
    }
    return pids;
}

inline double soundServerCpuSeconds(const std::vector<std::string>& pids) {
    double total = 0;
    for (const auto& pid : pids) {
        total += processCpuSeconds(pid);
    }
    return total;
}

// Encodes 44.1 kHz 16-bit stereo samples as a 320 kbit/s MP3 in the temporary folder.
inline std::string encodeMp3(const std::string& name, const std::vector<int16_t>& stereo) {
    const auto folder = std::filesystem::temp_directory_path();
    const std::string raw = (folder / (name + ".raw")).string();
    const std::string mp3 = (folder / (name + ".mp3")).string();
    std::ofstream(raw, std::ios::binary)
        .write(reinterpret_cast<const char*>(stereo.data()),
               static_cast<std::streamsize>(stereo.size() * sizeof(int16_t)));
    const std::string command =
        "lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian "
        "-m s -b 320 " +
        raw + " " + mp3 + " 2>/dev/null";
    if (std::system(command.c_str()) != 0) {
        std::exit(1);
    }
    return mp3;
}

}  // namespace bench
