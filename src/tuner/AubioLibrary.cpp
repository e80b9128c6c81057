#include "tuner/AubioLibrary.h"

#include "common/OpenedOnce.h"

namespace {

bool resolveAll(QLibrary& library, AubioLibrary& f) {
    return resolveFunction(library, "new_aubio_pitch", f.newPitch) &&
           resolveFunction(library, "del_aubio_pitch", f.deletePitch) &&
           resolveFunction(library, "aubio_pitch_set_unit", f.setUnit) &&
           resolveFunction(library, "aubio_pitch_set_silence", f.setSilence) &&
           resolveFunction(library, "aubio_pitch_do", f.detect) &&
           resolveFunction(library, "aubio_pitch_get_confidence", f.confidence) &&
           resolveFunction(library, "new_fvec", f.newVector) &&
           resolveFunction(library, "del_fvec", f.deleteVector);
}

}  // namespace

// Kept loaded for the rest of the process: detectors come and go with the listening.
const AubioLibrary* AubioLibrary::open(std::string& error) {
    return openOnce<AubioLibrary>("aubio", 5, "The pitch library aubio", resolveAll, error);
}
