// The coach's calibration by clicks heard back, run again and again as a user would press B:
// the built-in synthesizer plays the calibration's clicks into the default sink and the coach
// listens to the default source. Prints each run's correction (what the sound server's own
// latency figures leave out of the round trip), then their median and spread.
// Usage: coach_calibration_bench [RUNS]; see coach_calibration_bench.sh for the sinks it runs on.
#include <QApplication>
#include <QLabel>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "BenchMetronome.h"
#include "BenchRecording.h"
#include "CoachRig.h"

namespace {

// The calibration plays 16 clicks and listens 600 ms past the last.
constexpr double kCalibrationSeconds = 10;

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    QApplication app(argc, argv);
    QTemporaryDir dir;
    bench::PrintingReporter reporter;
    CoachRig rig(dir.path().toStdString(), reporter);
    if (!rig.openSynthesizer()) {
        std::fprintf(stderr, "no built-in synthesizer\n");
        return 1;
    }
    QSettings& settings = rig.settings;
    auto* status = rig.page.findChild<QLabel*>("coachStatus");

    std::vector<double> corrections;
    for (int run = 1; run <= runs; ++run) {
        settings.clear();
        rig.coach.calibrate(false);
        bench::runFor(kCalibrationSeconds);
        const QString input = settings.value("coach/lastInput").toString();
        if (input.isEmpty()) {
            std::printf("run %2d: %s\n", run, status->text().toUtf8().constData());
            continue;
        }
        QString device = input;
        const QString group = "coach/input/" + device.replace('/', '_') + "/";
        const double correction = settings.value(group + "correctionMs").toDouble();
        corrections.push_back(correction);
        std::printf("run %2d: correction %+7.2f ms, spread %.2f ms, round trip %.1f ms (%s)\n", run,
                    correction, settings.value(group + "spreadMs").toDouble(),
                    settings.value(group + "roundTripMs").toDouble(), input.toUtf8().constData());
    }
    if (corrections.empty()) {
        std::printf("no calibration heard anything\n");
        return 1;
    }
    const double middle = bench::median(corrections);
    const auto [low, high] = std::minmax_element(corrections.begin(), corrections.end());
    std::printf("%zu of %d runs: median correction %+.2f ms, runs within %+.2f..%+.2f ms of it\n",
                corrections.size(), runs, middle, *low - middle, *high - middle);
    return 0;
}
