#include "coach/AubioOnsets.h"

#include "common/OpenedOnce.h"

namespace {

bool resolveAll(QLibrary& library, AubioOnsets& f) {
    return resolveFunction(library, "new_aubio_onset", f.newOnset) &&
           resolveFunction(library, "del_aubio_onset", f.deleteOnset) &&
           resolveFunction(library, "aubio_onset_do", f.detect) &&
           resolveFunction(library, "aubio_onset_get_last", f.last) &&
           resolveFunction(library, "aubio_onset_set_threshold", f.setThreshold) &&
           resolveFunction(library, "aubio_onset_set_silence", f.setSilence) &&
           resolveFunction(library, "aubio_onset_set_minioi_ms", f.setMinimumGap) &&
           resolveFunction(library, "new_fvec", f.newVector) &&
           resolveFunction(library, "del_fvec", f.deleteVector);
}

}  // namespace

// Kept loaded for the rest of the process: detectors come and go with the coach.
const AubioOnsets* AubioOnsets::open(std::string& error) {
    return openOnce<AubioOnsets>("aubio", 5, "The onset library aubio", resolveAll, error);
}
