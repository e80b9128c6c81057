#pragma once
// What the benches that drive the real metronome share: its two tempos and the event loop's
// waits.

#include <QEventLoop>
#include <QTimer>

#include "metronome/Metronome.h"

namespace bench {

struct Tempo {
    int bpm;
    float knobLeft;  // where the tempo slider's knob stands for it, in twips
};
inline constexpr Tempo kTempos[] = {{120, 1619}, {240, 2339}};

inline void setTempo(Metronome& metronome, const Tempo& tempo) {
    metronome.imgBPMslider_MouseMove(1, 0, tempo.knobLeft - metronome.knobLeftTwips(), 0);
}

// Runs the event loop, timers and all, for this long.
inline void runFor(double seconds) {
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), Qt::PreciseTimer, &loop,
                       &QEventLoop::quit);
    loop.exec();
}

}  // namespace bench
