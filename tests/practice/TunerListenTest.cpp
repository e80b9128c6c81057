// The tuner page listening through the sound server: a plucked A, 5 cents sharp, played into the
// null sink whose monitor is the default input, reads +5.0 on the page.
#include <gtest/gtest.h>

#include <QLabel>
#include <QSettings>
#include <QTest>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "GuitarSignals.h"
#include "RecordingMidi.h"
#include "Servers.h"
#include "TempDir.h"
#include "app/frmMain.h"
#include "midi/MidiOutput.h"
#include "practice/TunerPage.h"
#include "tuner/Tuner.h"

namespace {

TEST(TunerListen, APluckedAFiveCentsSharpReadsPlusFive) {
    RZ77_REQUIRE_SERVER(commandSucceeds("pactl info"), "PulseAudio");
    setenv("PULSE_SOURCE", "nullsink.monitor", 1);  // the default input, for this process
    RecordingMidi midi;
    RecordingReporter reporter;
    MidiOutput output(midi, reporter);
    TempDir dir;
    frmMain window(AppEnvironment{dir.str(), {}}, output);
    auto* tuner = new Tuner(window, window.voice, output);
    QWidget panel;
    panel.resize(300, 310);
    QSettings settings(QString::fromStdString(dir.str() + "/practice.conf"), QSettings::IniFormat);
    settings.setValue("tuner/listen", true);
    auto* page = new TunerPage(panel, window, *tuner, window.voice, output, settings,
                               window.environment().units);
    panel.show();
    ASSERT_TRUE(page->isVisible());

    const double hz = 110 * std::pow(2.0, 5 / 1200.0);
    const std::vector<float> tone = guitar::PluckedString(hz, 48000).render(3.0, 0.3);
    FILE* player =
        popen("pacat --playback -d nullsink --format=float32le --rate=48000 --channels=1", "w");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    fwrite(tone.data(), sizeof(float), tone.size(), player);
    QStringList readings;
    auto* cents = page->findChild<QLabel*>("tunerCents");
    auto* note = page->findChild<QLabel*>("tunerNote");
    for (int i = 0; i < 60; ++i) {
        QTest::qWait(50);
        if (note->text() == "A2") {
            readings << cents->text();
        }
    }
    pclose(player);
    ASSERT_GE(readings.size(), 10) << "heard: " << readings.join(" ").toStdString();
    // Once settled, every reading is the string's: +5.0, give or take a tenth.
    for (const QString& reading : readings.mid(readings.size() / 2)) {
        EXPECT_NEAR(reading.toDouble(), 5.0, 0.15) << readings.join(" ").toStdString();
    }
}

}  // namespace
