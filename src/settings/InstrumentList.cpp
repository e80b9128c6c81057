#include "settings/InstrumentList.h"

#include <filesystem>
#include <system_error>

#include "settings/TextLines.h"

namespace InstrumentList {
namespace {

std::vector<std::filesystem::path> places(const std::string& programDir) {
    const std::filesystem::path dir(programDir);
    return {dir / kFileName, dir / ".." / "share" / "rz77" / kFileName};
}

}  // namespace

std::string path(const std::string& programDir) {
    for (const auto& place : places(programDir)) {
        std::error_code error;
        if (std::filesystem::is_regular_file(place, error)) {
            return place.lexically_normal().string();
        }
    }
    return {};
}

std::optional<std::vector<std::string>> read(const std::string& programDir) {
    for (const auto& path : places(programDir)) {
        std::error_code error;
        if (!std::filesystem::is_regular_file(path, error)) {
            continue;
        }
        try {
            return TextLines::splitLines(TextLines::readFileHead(path.string()).bytes);
        } catch (const std::system_error&) {
            continue;  // unreadable: try the next place, then the names built in
        }
    }
    return std::nullopt;
}

}  // namespace InstrumentList
