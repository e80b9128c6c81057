#include "INIReadWrite.h"

#include <filesystem>
#include <vector>

#include "TextLines.h"

namespace INIReadWrite {
namespace {

using TextLines::toLowerLatin1;
using TextLines::trimSpaces;

// The part of a header line after the first "[", cut to the line's length minus 2; this drops
// the closing "]" of a well-formed header. Returns false for a line that is not a header.
bool headerCandidate(const std::string& line, std::string& candidate) {
    const auto open = line.find('[');
    if (open == std::string::npos || line.size() < 2) {
        return false;  // a lone "[" has no room for a name
    }
    candidate = line.substr(open + 1, line.size() - 2);
    return true;
}

class SectionScanner {
public:
    explicit SectionScanner(std::vector<std::string> lines) : m_lines(std::move(lines)) {}

    std::string find(const std::string& section, const std::string& key) {
        while (!atEnd()) {
            std::string candidate;
            const std::string line = toLowerLatin1(trimSpaces(next()));
            if (!headerCandidate(line, candidate) || candidate != section) {
                continue;
            }
            std::string value;
            if (searchKey(key, value)) {
                return value;
            }
        }
        return {};
    }

private:
    // Scans entries after a matching header. Returns true when the search is decided: either the
    // key was found or a line holding "]" ended the section (value stays empty). Returns false to
    // resume the header search, which a lone "[" line (once seen) or the end of the file cause.
    bool searchKey(const std::string& key, std::string& value) {
        while (!atEnd() && m_lastKeyLine != "[") {
            m_lastKeyLine = trimSpaces(next());
            const std::string& line = m_lastKeyLine;
            if (line.find(']') != std::string::npos) {
                return true;
            }
            const auto equals = line.find('=');
            if (equals == std::string::npos || toLowerLatin1(line.substr(0, equals)) != key) {
                continue;
            }
            value = trimSpaces(line.substr(equals + 1));
            return true;
        }
        return false;
    }

    bool atEnd() const { return m_next >= m_lines.size(); }
    const std::string& next() { return m_lines[m_next++]; }

    std::vector<std::string> m_lines;
    size_t m_next = 0;
    std::string m_lastKeyLine;
};

}  // namespace

std::string ReadINI(const std::string& section, const std::string& key, const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return {};
    }
    SectionScanner scanner(TextLines::splitLines(TextLines::readFileBytes(path)));
    return scanner.find(toLowerLatin1(section), toLowerLatin1(key));
}

}  // namespace INIReadWrite
