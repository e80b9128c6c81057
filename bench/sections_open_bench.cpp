// What opening a track costs the sections page: the track's key from its file, its 50 sections,
// its sessions from a year of practice log, and the plot's days of one section; then what ending
// a session costs (the log is replaced whole). `sections_open_bench [sessions a day]`: sessions
// every day for a year, taken in turn by the 50 sections of this track and of four others; 250
// by default (every section of each track every day: 91250 lines), where an hour's practice a day
// on a few sections makes about 10.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "common/TrackKey.h"
#include "practice/PracticeLog.h"
#include "practice/SectionList.h"

namespace {

constexpr int kSections = 50;
constexpr int kTracks = 5;
constexpr int kDays = 365;
constexpr int kRuns = 21;

double medianMs(const std::function<void()>& work) {
    std::vector<double> times;
    for (int run = 0; run < kRuns; ++run) {
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::nth_element(times.begin(), times.begin() + kRuns / 2, times.end());
    return times[kRuns / 2];
}

std::string dayOf(int day) {
    const std::chrono::sys_days date =
        std::chrono::sys_days(std::chrono::year(2025) / 12 / 1) + std::chrono::days(day);
    const std::chrono::year_month_day ymd(date);
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    const int perDay = argc > 1 ? std::max(1, std::atoi(argv[1])) : kSections * kTracks;
    const std::filesystem::path dir = "/tmp/rz77-bench-sections";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string trackFile = (dir / "track.flac").string();
    {  // ten megabytes stand for a track: the key reads its first and last
        std::ofstream out(trackFile, std::ios::binary);
        std::vector<char> block(1 << 20);
        for (int mb = 0; mb < 10; ++mb) {
            std::fill(block.begin(), block.end(), static_cast<char>(mb * 7 + 1));
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
        }
    }
    const std::string key = trackKey(trackFile).value_or("none");
    const std::string sectionsFile = (dir / "tracks" / (key + ".sections")).string();
    SectionList sections;
    for (int i = 0; i < kSections; ++i) {
        sections.add(
            {0, "Section " + std::to_string(i + 1), i * 4.5, i * 4.5 + 4, 60 + i % 40, i % 5 - 2});
    }
    SectionsFile::save(sectionsFile, sections);

    const std::string logFile = (dir / "practice-log.csv").string();
    {
        std::ofstream out(logFile, std::ios::binary);
        out << PracticeLog::kHeader << '\n';
        for (int day = 0, turn = 0; day < kDays; ++day) {
            for (int session = 0; session < perDay; ++session, ++turn) {
                const int track = turn % kTracks;
                out << PracticeLog::formatLine(
                           {dayOf(day), track == 0 ? key : key + std::to_string(track),
                            turn / kTracks % kSections + 1, 600, 50 + day * 40 / kDays, "Section"})
                    << '\n';
            }
        }
    }
    const auto logBytes = std::filesystem::file_size(logFile);

    size_t read = 0, days = 0;
    const double keyMs = medianMs([&] { read += trackKey(trackFile)->size(); });
    const double sectionsMs =
        medianMs([&] { read += SectionsFile::load(sectionsFile).list.size(); });
    std::vector<PracticeSession> sessions;
    const double logMs = medianMs([&] { sessions = PracticeLog::read(logFile, key); });
    const double daysMs = medianMs([&] { days = PracticeLog::daysOf(sessions, 25).size(); });
    const double appendMs = medianMs([&] {
        PracticeLog::append(logFile, {dayOf(kDays), key, 25, 300, 90, "Section 25"});
    });

    std::printf(
        "log: %d sessions a day over %d sections of %d tracks for %d days: %d lines, "
        "%.1f MB; this track's sessions %zu, days of one section %zu\n",
        perDay, kSections, kTracks, kDays, perDay * kDays + 1, static_cast<double>(logBytes) / 1e6,
        sessions.size(), days);
    std::printf("median of %d runs, ms:\n", kRuns);
    std::printf("  track key (10 MB file)      %7.2f\n", keyMs);
    std::printf("  50 sections read            %7.2f\n", sectionsMs);
    std::printf("  the track's log read        %7.2f\n", logMs);
    std::printf("  one section's days          %7.2f\n", daysMs);
    std::printf("  opening, all of it          %7.2f   (target <= 100)\n",
                keyMs + sectionsMs + logMs + daysMs);
    std::printf("  ending a session (append)   %7.2f\n", appendMs);
    std::filesystem::remove_all(dir);
    return read > 0 ? 0 : 1;
}
