#include "tuner/AubioLibrary.h"

#include <QLibrary>
#include <mutex>

namespace {

template <typename Function>
bool resolve(QLibrary& library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(library.resolve(name));
    return function != nullptr;
}

bool resolveAll(QLibrary& library, AubioLibrary& f) {
    return resolve(library, "new_aubio_pitch", f.newPitch) &&
           resolve(library, "del_aubio_pitch", f.deletePitch) &&
           resolve(library, "aubio_pitch_set_unit", f.setUnit) &&
           resolve(library, "aubio_pitch_set_silence", f.setSilence) &&
           resolve(library, "aubio_pitch_do", f.detect) &&
           resolve(library, "aubio_pitch_get_confidence", f.confidence) &&
           resolve(library, "new_fvec", f.newVector) &&
           resolve(library, "del_fvec", f.deleteVector);
}

}  // namespace

const AubioLibrary* AubioLibrary::open(std::string& error) {
    static std::once_flag once;
    static AubioLibrary functions{};
    static const AubioLibrary* opened = nullptr;
    static std::string failure;
    std::call_once(once, [] {
        // Kept loaded for the rest of the process: detectors come and go with the listening.
        QLibrary library("aubio", 5);
        if (!library.load()) {
            failure = "The pitch library aubio could not be opened: " +
                      library.errorString().toStdString();
        } else if (!resolveAll(library, functions)) {
            failure = "The pitch library aubio lacks " + library.errorString().toStdString();
        } else {
            opened = &functions;
        }
    });
    error = failure;
    return opened;
}
