#include "analysis/GridRecord.h"

#include <cmath>
#include <cstdio>
#include <sstream>

namespace {

constexpr const char* kMagic = "rz77-grid";

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

void writeGrid(std::ostringstream& out, const char* name, const BeatGrid& grid) {
    out << name << ' ' << grid.beatsPerBar << ' ' << grid.firstDownbeat << ' ' << grid.beats.size()
        << '\n';
    for (const double beat : grid.beats) out << fixed(beat, 4) << '\n';
}

bool readGrid(std::istringstream& in, BeatGrid& grid) {
    size_t count = 0;
    if (!(in >> grid.beatsPerBar >> grid.firstDownbeat >> count))
        return false;
    if (grid.beatsPerBar < 1 || grid.firstDownbeat < 0 || grid.firstDownbeat >= grid.beatsPerBar)
        return false;
    grid.beats.clear();
    double previous = -INFINITY;
    for (size_t i = 0; i < count; ++i) {
        double beat = 0;
        if (!(in >> beat) || !std::isfinite(beat) || beat <= previous)
            return false;
        grid.beats.push_back(beat);
        previous = beat;
    }
    return true;
}

bool readTuning(std::istringstream& in, std::optional<double>& cents) {
    std::string word;
    if (!(in >> word))
        return false;
    if (word == "none")
        return true;
    try {
        size_t used = 0;
        cents = std::stod(word, &used);
        return used == word.size() && std::isfinite(*cents);
    } catch (const std::exception&) {
        return false;
    }
}

bool expect(std::istringstream& in, const char* word) {
    std::string read;
    return in >> read && read == word;
}

}  // namespace

std::string gridRecordText(const KeptAnalysis& kept) {
    const TrackAnalysis& analysis = kept.analysis;
    std::ostringstream out;
    out << kMagic << ' ' << kGridRecordVersion << '\n';
    out << "tempo " << fixed(analysis.beatsPerMinute, 3) << '\n';
    out << "tuning " << (analysis.tuningCents ? fixed(*analysis.tuningCents, 2) : "none") << '\n';
    out << "key" << (analysis.key.empty() ? "" : " " + analysis.key) << '\n';
    writeGrid(out, "grid", analysis.grid);
    if (kept.corrected)
        writeGrid(out, "corrected", *kept.corrected);
    out << "end\n";
    return out.str();
}

ReadGridRecord parseGridRecord(const std::string& text) {
    std::istringstream in(text);
    int version = 0;
    if (!expect(in, kMagic) || !(in >> version))
        return {};
    if (version > kGridRecordVersion)
        return {std::nullopt, true};
    if (version != kGridRecordVersion)
        return {};

    KeptAnalysis kept;
    TrackAnalysis& analysis = kept.analysis;
    std::string keyLine;
    if (!expect(in, "tempo") || !(in >> analysis.beatsPerMinute) || !expect(in, "tuning") ||
        !readTuning(in, analysis.tuningCents) || !(in >> std::ws) || !std::getline(in, keyLine) ||
        (keyLine != "key" && keyLine.rfind("key ", 0) != 0) || !expect(in, "grid") ||
        !readGrid(in, analysis.grid))
        return {};
    analysis.key = keyLine.size() > 4 ? keyLine.substr(4) : "";
    std::string word;
    if (!(in >> word))
        return {};
    if (word == "corrected") {
        kept.corrected.emplace();
        if (!readGrid(in, *kept.corrected) || !(in >> word))
            return {};
    }
    if (word != "end")
        return {};
    return {kept, false};
}
