// How long the user-interface thread stands still while the track page opens the first M4A of
// the program's life, at which FFmpeg's libraries load, against a second M4A opened after it.
// The page is the program's own, on the real sound server (PulseAudio or PipeWire's service),
// shown on the platform Qt is given (offscreen when none is). A 1 ms timer on the event loop is
// the probe: the longest gap between two of its ticks, from the OPEN until the track is in the
// player and 300 ms after, is the stall. A WAV opened first starts the sound output, as a session
// that opens any track first would. Each run is a fresh process (FFmpeg loads once in each).
// `first_m4a_bench [runs]`, 5 by default.
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/ScreenUnits.h"
#include "audio/AudioEngine.h"
#include "audio/PulseAudioStream.h"
#include "common/MessageReporter.h"
#include "mp3/TrackPlaybackControl.h"
#include "practice/TrackPage.h"

namespace {

const std::string kDir = "/tmp/rz77-bench-first-m4a";

class PrintingReporter : public MessageReporter {
public:
    void show(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
};

struct Opening {
    double stallMs = 0;   // the probe's longest gap
    double loadedMs = 0;  // from the OPEN to the track in the player
};

// Ticks of the probe, and the event loop run until the track is in the player and a while after.
Opening measureOpen(TrackPage& page, const TrackPlaybackControl& track, const std::string& path) {
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, longest = 0, openedAt = -1, loadedAt = -1;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(1);
    QEventLoop loop;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (openedAt >= 0) {
            longest = std::max(longest, now - last);
        }
        last = now;
        if (openedAt < 0 && now > 100'000'000) {
            openedAt = now;
            page.open(path);
            last = clock.nsecsElapsed();
            longest = std::max(longest, last - now);
        }
        if (loadedAt < 0 && openedAt >= 0 && track.loaded() && track.file() == path) {
            loadedAt = clock.nsecsElapsed();
        }
        if ((loadedAt >= 0 && now - loadedAt > 300'000'000) || now > 10'000'000'000) {
            loop.quit();
        }
    });
    probe.start();
    loop.exec();
    if (loadedAt < 0) {
        std::fprintf(stderr, "%s did not open within 10 s\n", path.c_str());
        std::exit(1);
    }
    return {longest / 1e6, (loadedAt - openedAt) / 1e6};
}

int measureOnce(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    AudioEngine engine(PulseAudioStream::opener());
    PrintingReporter reporter;
    TrackPlaybackControl track(engine, reporter);
    const std::string settingsPath = kDir + "/practice-" + std::to_string(getpid()) + ".conf";
    QSettings settings(QString::fromStdString(settingsPath), QSettings::IniFormat);
    QWidget panel;
    panel.resize(300, 307);
    ScreenUnits units;
    TrackPage page(panel, track, settings, units);
    panel.show();
    const Opening wav = measureOpen(page, track, kDir + "/first.wav");
    const Opening first = measureOpen(page, track, kDir + "/first.m4a");
    const Opening second = measureOpen(page, track, kDir + "/second.m4a");
    std::printf("%10.1f ms %10.1f ms   %10.1f ms %10.1f ms   %10.1f ms %10.1f ms\n", first.stallMs,
                first.loadedMs, second.stallMs, second.loadedMs, wav.stallMs, wav.loadedMs);
    std::fflush(stdout);
    std::filesystem::remove(settingsPath);
    return 0;
}

bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::filesystem::create_directories(kDir);
    const std::string tone = "ffmpeg -y -f lavfi -i sine=frequency=440:duration=20 ";
    if (!run(tone + kDir + "/first.wav") || !run(tone + "-c:a aac " + kDir + "/first.m4a") ||
        !run(tone + "-c:a aac " + kDir + "/second.m4a")) {
        std::fprintf(stderr, "cannot make the tracks with ffmpeg\n");
        return 1;
    }
    std::printf("user-interface thread's longest stall, and OPEN to the track in the player\n");
    std::printf("%-25s    %-25s    %-25s\n", "first M4A (FFmpeg loads)", "second M4A", "WAV first");
    std::fflush(stdout);  // once, not again by each child
    for (int i = 0; i < runs; ++i) {
        const pid_t child = fork();
        if (child == 0) {
            return measureOnce(argc, argv);
        }
        int status = 0;
        waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            return 1;
        }
    }
    return 0;
}
