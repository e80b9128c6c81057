#include "settings/TextLines.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <system_error>

namespace TextLines {

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string current;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r') {
            current += text[i];
            continue;
        }
        lines.push_back(current);
        current.clear();
        if (i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;
        }
    }
    if (!current.empty()) {
        lines.push_back(current);
    }
    return lines;
}

FileHead readFileHead(const std::string& path, size_t maxBytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::system_error(errno, std::generic_category(), "cannot open " + path);
    }
    // One byte more than the limit tells whether the file goes on.
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0);
    FileHead head;
    head.bytes.resize(size < 0 ? maxBytes + 1 : std::min(static_cast<size_t>(size), maxBytes + 1));
    in.read(head.bytes.data(), static_cast<std::streamsize>(head.bytes.size()));
    if (in.bad()) {
        throw std::system_error(errno, std::generic_category(), "cannot read " + path);
    }
    head.bytes.resize(static_cast<size_t>(in.gcount()));
    if (head.bytes.size() > maxBytes) {
        head.complete = false;
        head.bytes.resize(maxBytes);
        const auto lastEnd = head.bytes.rfind('\r');
        head.bytes.resize(lastEnd == std::string::npos ? 0 : lastEnd + 1);
    }
    return head;
}

}  // namespace TextLines
