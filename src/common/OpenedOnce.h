#pragma once

#include <QLibrary>
#include <mutex>
#include <string>

// A library opened at its first use and kept for the rest of the process, its functions found by
// name: a feature few sessions use then costs a session without it nothing. `what` names the
// library in the reason given when it cannot be used, e.g. "The pitch library aubio".
template <typename Functions>
const Functions* openOnce(const char* file, int version, const char* what,
                          bool (*resolveAll)(QLibrary&, Functions&), std::string& error) {
    static std::once_flag once;
    static Functions functions{};
    static const Functions* opened = nullptr;
    static std::string failure;
    std::call_once(once, [&] {
        QLibrary library(file, version);
        if (!library.load()) {
            failure =
                std::string(what) + " could not be opened: " + library.errorString().toStdString();
        } else if (!resolveAll(library, functions)) {
            failure = std::string(what) + " lacks " + library.errorString().toStdString();
        } else {
            opened = &functions;
        }
    });
    error = failure;
    return opened;
}

// Finds one function of a library by its name; false when the library lacks it.
template <typename Function>
bool resolveFunction(QLibrary& library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(library.resolve(name));
    return function != nullptr;
}
