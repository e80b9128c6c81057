// The beat analysis against songs whose beats, bars, tempo, tuning and key are known: written as
// MIDI files, rendered with FluidSynth and encoded as MP3s at run time. Prints per song and in
// total how often the tempo is right, the beats' and downbeats' F-measures, the tuning's error
// and how often the key is right; then the time and memory one 4-minute track takes, and one of
// some hours when asked.
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "SongMaker.h"
#include "analysis/AnalysisRun.h"
#include "analysis/TrackDecoding.h"

namespace {

constexpr double kTolerance = 0.070;

std::string keyOf(const SongRecipe& recipe) {
    static const char* const kTonics[] = {"C",  "Db", "D",  "Eb", "E",  "F",
                                          "F#", "G",  "Ab", "A",  "Bb", "B"};
    return std::string(kTonics[recipe.tonic % 12]) + (recipe.minor ? " minor" : " major");
}

// The mean of found − truth over the beats matched, in milliseconds.
double meanOffsetMs(const std::vector<double>& found, const std::vector<double>& truth) {
    double sum = 0;
    int count = 0;
    size_t f = 0;
    for (const double t : truth) {
        while (f < found.size() && found[f] < t - kTolerance) ++f;
        if (f < found.size() && std::fabs(found[f] - t) <= kTolerance) {
            sum += found[f] - t;
            ++count;
        }
    }
    return count ? 1000 * sum / count : NAN;
}

std::vector<double> downbeatsOf(const BeatGrid& grid) {
    std::vector<double> downbeats;
    for (size_t i = size_t(grid.firstDownbeat); i < grid.beats.size();
         i += size_t(grid.beatsPerBar))
        downbeats.push_back(grid.beats[i]);
    return downbeats;
}

double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + now.tv_nsec / 1e9;
}

long peakKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

std::vector<SongRecipe> corpus() {
    std::vector<SongRecipe> songs;
    auto add = [&songs](SongRecipe recipe) { songs.push_back(std::move(recipe)); };
    add({.name = "pop 4/4 120", .bpm = 120, .tonic = 0, .seed = 1});
    add({.name = "rock 4/4 140", .bpm = 140, .tonic = 4, .minor = true, .bars = 28, .seed = 2});
    add({.name = "ballad 4/4 70",
         .bpm = 70,
         .tonic = 9,
         .minor = true,
         .bars = 14,
         .barsWithoutDrums = 2,
         .seed = 3});
    add({.name = "fast 4/4 180", .bpm = 180, .tonic = 7, .bars = 36, .seed = 4});
    add({.name = "punk 4/4 200", .bpm = 200, .tonic = 2, .bars = 40, .seed = 5});
    add({.name = "slow 4/4 60", .bpm = 60, .tonic = 5, .bars = 12, .seed = 6});
    add({.name = "waltz 3/4 150",
         .bpm = 150,
         .beatsPerBar = 3,
         .tonic = 10,
         .bars = 36,
         .seed = 7});
    add({.name = "waltz 3/4 90",
         .bpm = 90,
         .beatsPerBar = 3,
         .tonic = 2,
         .minor = true,
         .bars = 24,
         .seed = 8});
    add({.name = "6/8 in two, 60",
         .bpm = 60,
         .beatsPerBar = 2,
         .compound = true,
         .tonic = 4,
         .minor = true,
         .bars = 24,
         .seed = 9});
    add({.name = "swing 4/4 110",
         .bpm = 110,
         .swing = 1.0 / 6,
         .tonic = 5,
         .bars = 24,
         .seed = 10});
    add({.name = "ramp 90-130", .bpm = 90, .rampToBpm = 130, .tonic = 9, .bars = 28, .seed = 11});
    add({.name = "change 100-140",
         .bpm = 100,
         .laterBpm = 140,
         .tonic = 0,
         .minor = true,
         .bars = 28,
         .seed = 12});
    add({.name = "detuned -35 c, 125",
         .bpm = 125,
         .detuneCents = -35,
         .tonic = 7,
         .minor = true,
         .seed = 13});
    add({.name = "detuned +45 c, 95",
         .bpm = 95,
         .detuneCents = 45,
         .tonic = 3,
         .bars = 18,
         .seed = 14});
    add({.name = "intro 8 bars, 105",
         .bpm = 105,
         .tonic = 11,
         .minor = true,
         .bars = 26,
         .barsWithoutDrums = 8,
         .seed = 15});
    add({.name = "rubato guitar", .bpm = 60, .rubato = true, .seed = 16});
    add({.name = "silence", .bpm = 60, .bars = 5, .silent = true});
    return songs;
}

struct Totals {
    int songs = 0, tempoRight = 0, keyRight = 0, keyed = 0, tuned = 0, noBeatSongs = 0,
        noBeatSaid = 0;
    double beatF = 0, downbeatF = 0, tuningError = 0, worstTuning = 0;
};

// The song's file, rendered unless the kept corpus already holds it.
bool songFile(const SongRecipe& recipe, const std::string& dir, std::string& path) {
    std::string name = recipe.name;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    path = dir + "/" + name + ".mp3";
    return std::filesystem::exists(path) || renderSong(recipe, path);
}

void measureSong(const SongRecipe& recipe, const std::string& dir, Totals& totals) {
    std::string path;
    if (!songFile(recipe, dir, path)) {
        std::printf("%-20s could not be rendered\n", recipe.name.c_str());
        return;
    }
    const SongTruth truth = songTruth(recipe);
    const auto analysis = analyseTrack([&path] { return openTrackForAnalysis(path); }, {});
    if (!analysis) {
        std::printf("%-20s not analysed\n", recipe.name.c_str());
        return;
    }
    if (truth.beats.empty()) {
        ++totals.noBeatSongs;
        totals.noBeatSaid += analysis->grid.beats.empty();
        std::printf("%-20s no beat: %s (%zu beats found)\n", recipe.name.c_str(),
                    analysis->grid.beats.empty() ? "said" : "NOT SAID",
                    analysis->grid.beats.size());
        return;
    }
    const double tempoRatio = analysis->beatsPerMinute / truth.bpm;
    const bool tempoRight = std::fabs(tempoRatio - 1) <= 0.02;
    const double beatF = beatFMeasure(analysis->grid.beats, truth.beats, kTolerance);
    const double downbeatF = beatFMeasure(downbeatsOf(analysis->grid), truth.downbeats, kTolerance);
    const double tuningError =
        analysis->tuningCents ? std::fabs(*analysis->tuningCents - recipe.detuneCents) : NAN;
    const std::string key = keyOf(recipe);
    ++totals.songs;
    totals.tempoRight += tempoRight;
    totals.beatF += beatF;
    totals.downbeatF += downbeatF;
    totals.keyRight += analysis->key == key;
    if (analysis->tuningCents) {
        ++totals.tuned;
        totals.tuningError += tuningError;
        totals.worstTuning = std::max(totals.worstTuning, tuningError);
    }
    std::printf("%-20s %6.1f/%6.1f %-4s %5.3f %+6.1f ms  %d/%d %5.3f  %+6.1f/%+6.1f  %-9s %-9s\n",
                recipe.name.c_str(), analysis->beatsPerMinute, truth.bpm, tempoRight ? "ok" : "NO",
                beatF, meanOffsetMs(analysis->grid.beats, truth.beats), analysis->grid.beatsPerBar,
                recipe.beatsPerBar, downbeatF, analysis->tuningCents.value_or(NAN),
                recipe.detuneCents, analysis->key.c_str(), key.c_str());
}

// The 4-minute song joined to itself into a track of some hours: MP3 frames follow one another.
bool joinedTrack(const std::string& song, double hours, const std::string& path) {
    std::ifstream in(song, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < std::lround(hours * 15); ++i) out << bytes;
    return bool(out);
}

// One analysis on this thread at the analyser's priority: its time, its memory and the longest
// it went without asking whether it was cancelled.
void measureLongTrack(const std::string& label, const std::string& path) {
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
    const long peakBefore = peakKilobytes();
    const auto wallStart = std::chrono::steady_clock::now();
    const double cpuStart = threadSeconds();
    auto lastAsked = wallStart;
    double longestGap = 0;
    const auto cancelled = [&] {
        const auto now = std::chrono::steady_clock::now();
        longestGap = std::max(longestGap, std::chrono::duration<double>(now - lastAsked).count());
        lastAsked = now;
        return false;
    };
    const auto analysis =
        analyseTrack([&path] { return openTrackForAnalysis(path); }, {cancelled, {}});
    const double cpu = threadSeconds() - cpuStart;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    std::printf(
        "%s (%zu beats, %.1f BPM): %.2f s wall, %.2f s CPU at nice 19; peak memory %+.1f MB "
        "over the bench's own (%.1f MB in all); cancellable within %.2f s\n",
        label.c_str(), analysis ? analysis->grid.beats.size() : 0,
        analysis ? analysis->beatsPerMinute : 0, wall, cpu, (peakKilobytes() - peakBefore) / 1024.0,
        peakKilobytes() / 1024.0, longestGap);
}

}  // namespace

// track_analysis_bench [FOLDER [HOURS]]: with a folder named, the rendered songs are kept there
// and used again on the next run; with hours, a track that long is analysed as well.
int main(int argc, char** argv) {
    if (!songFontPresent()) {
        std::printf("no sound font at %s\n", kSongFont);
        return 1;
    }
    const bool keep = argc > 1;
    const double hours = argc > 2 ? std::atof(argv[2]) : 0;
    const auto dir = keep ? std::filesystem::path(argv[1])
                          : std::filesystem::temp_directory_path() / "rz77-analysis-bench";
    std::filesystem::create_directories(dir);
    std::printf("%-20s %13s %-4s %5s %9s  %3s %5s  %13s  %-9s %-9s\n", "song", "tempo/true", "",
                "beatF", "offset", "bar", "downF", "cents/true", "key", "true key");
    Totals totals;
    for (const SongRecipe& recipe : corpus()) measureSong(recipe, dir.string(), totals);
    const int n = std::max(totals.songs, 1);
    std::printf(
        "\n%d songs with a beat: tempo right %d (%.0f %%), beat F %.3f, downbeat F %.3f, key right "
        "%d "
        "(%.0f %%)\ntuning error mean %.1f cents, worst %.1f (of %d songs with a tuning)\n"
        "no beat said for %d of %d songs without one\n",
        totals.songs, totals.tempoRight, 100.0 * totals.tempoRight / n, totals.beatF / n,
        totals.downbeatF / n, totals.keyRight, 100.0 * totals.keyRight / n,
        totals.tuningError / std::max(totals.tuned, 1), totals.worstTuning, totals.tuned,
        totals.noBeatSaid, totals.noBeatSongs);
    const SongRecipe fourMinutes{
        .name = "4 minutes", .bpm = 120, .tonic = 2, .bars = 120, .seed = 20};
    std::string song;
    if (songFile(fourMinutes, dir.string(), song)) {
        std::printf("\n");
        measureLongTrack("4-minute track", song);
        const std::string joined = (dir / "joined.mp3").string();
        if (hours > 0 && joinedTrack(song, hours, joined)) {
            measureLongTrack(std::to_string(hours) + "-hour track", joined);
            std::filesystem::remove(joined);
        }
    }
    if (!keep)
        std::filesystem::remove_all(dir);
}
