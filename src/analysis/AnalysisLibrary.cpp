#include "analysis/AnalysisLibrary.h"

#include <dlfcn.h>

#include <filesystem>
#include <mutex>
#include <vector>

namespace {

std::vector<std::string> candidatePaths() {
    std::error_code ignored;
    const auto programDir = std::filesystem::read_symlink("/proc/self/exe", ignored).parent_path();
    return {(programDir / RZ77_ANALYSIS_MODULE_NAME).string(),
            (programDir / RZ77_ANALYSIS_MODULE_INSTALLED).string(), RZ77_ANALYSIS_MODULE_BUILT};
}

AnalyseTrackFunction openFirst(std::string& failure) {
    for (const std::string& path : candidatePaths()) {
        // Kept open for the rest of the process.
        void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            failure += std::string(dlerror()) + "\n";
            continue;
        }
        if (auto* entry = reinterpret_cast<AnalyseTrackFunction>(dlsym(module, "rz77AnalyseTrack")))
            return entry;
        failure += path + " lacks its entry point\n";
        dlclose(module);
    }
    return nullptr;
}

}  // namespace

AnalyseTrackFunction openAnalysisLibrary(std::string& error) {
    static std::once_flag once;
    static AnalyseTrackFunction entry = nullptr;
    static std::string failure;
    std::call_once(once, [] {
        std::string reasons;
        entry = openFirst(reasons);
        if (!entry)
            failure = "The beat analysis could not be opened:\n" + reasons;
    });
    error = failure;
    return entry;
}
