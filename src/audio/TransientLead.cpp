#include "audio/TransientLead.h"

double transientLead(StretchEngine engine, double speed, double startPad) {
    const double stretch = 1.0 / speed - 1.0;  // 0 at the track's own speed, 3 at a quarter
    if (engine == StretchEngine::Faster) {
        return startPad * (stretch > 0 ? 0.42 : 0.32) * stretch;
    }
    // Sped up, the finer engine plays transients within a millisecond of their place.
    return stretch > 0 ? startPad * (0.115 + 0.017 * stretch) * stretch : 0.0;
}
