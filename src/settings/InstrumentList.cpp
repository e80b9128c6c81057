#include "settings/InstrumentList.h"

#include <filesystem>
#include <system_error>

#include "settings/TextLines.h"

namespace InstrumentList {

std::optional<std::vector<std::string>> read(const std::string& programDir) {
    const std::filesystem::path dir(programDir);
    for (const auto& path : {dir / kFileName, dir / ".." / "share" / "rz77" / kFileName}) {
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
