#include "coach/TakeReport.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace Coach {

Figures figuresOf(const std::vector<NoteTiming>& notes) {
    Figures f;
    f.notes = static_cast<int>(notes.size());
    if (notes.empty()) {
        return f;
    }
    const double n = notes.size();
    double sum = 0, sumT = 0;
    for (const auto& note : notes) {
        sum += note.offsetMs;
        sumT += note.at;
        f.within10 += std::abs(note.offsetMs) <= 10 ? 1 : 0;
        f.within20 += std::abs(note.offsetMs) <= 20 ? 1 : 0;
    }
    f.meanMs = sum / n;
    const double meanT = sumT / n;
    double squares = 0, covariance = 0, timeSquares = 0;
    double first = notes.front().at, last = notes.front().at;
    for (const auto& note : notes) {
        const double d = note.offsetMs - f.meanMs;
        squares += d * d;
        covariance += (note.at - meanT) * d;
        timeSquares += (note.at - meanT) * (note.at - meanT);
        first = std::min(first, note.at);
        last = std::max(last, note.at);
    }
    f.spreadMs = notes.size() > 1 ? std::sqrt(squares / (n - 1)) : 0;
    f.driftMs = timeSquares > 0 ? covariance / timeSquares * (last - first) : 0;
    f.within10 /= n;
    f.within20 /= n;
    return f;
}

std::vector<TempoPartReport> reportTake(const std::vector<NoteTiming>& notes) {
    std::map<int, std::vector<NoteTiming>> byPart;
    for (const auto& note : notes) {
        byPart[note.tempoPart].push_back(note);
    }
    std::vector<TempoPartReport> parts;
    for (const auto& [part, partNotes] : byPart) {
        TempoPartReport report;
        report.tempoPart = part;
        std::vector<NoteTiming> muted;
        std::map<std::pair<int, int>, TempoPartReport::Position> positions;
        report.from = partNotes.front().at;
        report.to = partNotes.front().at;
        for (const auto& note : partNotes) {
            if (note.beatSeconds > 0) {
                report.bpm = 60 / note.beatSeconds;
            }
            if (!note.nearest.heard) {
                muted.push_back(note);
            }
            auto& position = positions[{note.nearest.beat, note.nearest.subdivision}];
            position.beat = note.nearest.beat;
            position.subdivision = note.nearest.subdivision;
            position.meanMs += note.offsetMs;
            ++position.notes;
            report.from = std::min(report.from, note.at);
            report.to = std::max(report.to, note.at);
        }
        report.all = figuresOf(partNotes);
        report.muted = figuresOf(muted);
        for (auto& [key, position] : positions) {
            position.meanMs /= position.notes;
            report.perPosition.push_back(position);
        }
        parts.push_back(std::move(report));
    }
    return parts;
}

}  // namespace Coach
