// Measures how long start-up's settings reads take and how much memory they need, for an ordinary
// settings file and for a huge one of short lines.
//   settings_bench [--megabytes N]     (default 100 MB for the huge file)
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "settings/StartupSettings.h"

namespace {

long peakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void measure(const char* name, const std::string& path) {
    const long before = peakKilobytes();
    const auto start = std::chrono::steady_clock::now();
    const StartupSettings s = readStartupSettings(path, 0);
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    std::printf("%-28s %10.3f ms  peak memory +%6ld kB  (channel %d, device %d, sound %d)\n", name,
                took.count(), peakKilobytes() - before, s.channel, s.Device, s.Sound);
}

}  // namespace

int main(int argc, char** argv) {
    long megabytes = 100;
    if (argc == 3 && std::strcmp(argv[1], "--megabytes") == 0) {
        megabytes = std::atol(argv[2]);
    }
    const auto dir = std::filesystem::temp_directory_path() /
                     ("rz77-settings-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);

    const std::string ordinary = (dir / "ordinary.rz").string();
    std::ofstream(ordinary, std::ios::binary)
        << "[device]\r\nid=-1\r\n[sound]\r\nid=30\r\n[channel]\r\nid=2\r\n";
    measure("ordinary file", ordinary);

    const std::string huge = (dir / "huge.rz").string();
    {
        std::ofstream out(huge, std::ios::binary);
        const std::string block = [] {
            std::string lines;
            while (lines.size() < (1 << 20)) {
                lines += "x=1\r\n";
            }
            return lines;
        }();
        for (long i = 0; i < megabytes; ++i) {
            out << block;
        }
    }
    measure(("huge file, " + std::to_string(megabytes) + " MB").c_str(), huge);
    std::filesystem::remove_all(dir);
    return 0;
}
