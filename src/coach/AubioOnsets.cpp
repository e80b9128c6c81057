#include "coach/AubioOnsets.h"

#include <QLibrary>
#include <mutex>

namespace {

template <typename Function>
bool resolve(QLibrary& library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(library.resolve(name));
    return function != nullptr;
}

bool resolveAll(QLibrary& library, AubioOnsets& f) {
    return resolve(library, "new_aubio_onset", f.newOnset) &&
           resolve(library, "del_aubio_onset", f.deleteOnset) &&
           resolve(library, "aubio_onset_do", f.detect) &&
           resolve(library, "aubio_onset_get_last", f.last) &&
           resolve(library, "aubio_onset_set_threshold", f.setThreshold) &&
           resolve(library, "aubio_onset_set_silence", f.setSilence) &&
           resolve(library, "aubio_onset_set_minioi_ms", f.setMinimumGap) &&

           resolve(library, "new_fvec", f.newVector) &&
           resolve(library, "del_fvec", f.deleteVector);
}

}  // namespace

const AubioOnsets* AubioOnsets::open(std::string& error) {
    static std::once_flag once;
    static AubioOnsets functions{};
    static const AubioOnsets* opened = nullptr;
    static std::string failure;
    std::call_once(once, [] {
        // Kept loaded for the rest of the process: detectors come and go with the coach.
        QLibrary library("aubio", 5);
        if (!library.load()) {
            failure = "The onset library aubio could not be opened: " +
                      library.errorString().toStdString();
        } else if (!resolveAll(library, functions)) {
            failure = "The onset library aubio lacks " + library.errorString().toStdString();
        } else {
            opened = &functions;
        }
    });
    error = failure;
    return opened;
}
