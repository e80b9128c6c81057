#include "settings/INIReadWrite.h"

#include <filesystem>
#include <set>
#include <stdexcept>
#include <vector>

#include "common/TextHelpers.h"
#include "settings/FileReplace.h"
#include "settings/TextLines.h"

namespace INIReadWrite {
namespace {

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

using Lines = std::vector<std::string>;
using Pump = std::function<void()>;

// Positions of the last header taken as the section's and the last entry taken as the key's.
struct KeySearch {
    bool sectionFound = false;
    size_t sectionLine = 0;
    bool keyFound = false;
    size_t keyLine = 0;
};

// Every header holding "[section]" opens a scan that runs until a line holding "[" other than
// exactly "[section]"; any line of it holding "key=" counts, the last one found winning.
KeySearch findKey(const Lines& lines, const std::string& header, const std::string& keyEquals,
                  const Pump& pump) {
    KeySearch found;
    for (size_t i = 0; i < lines.size(); ++i) {
        pump();
        if (toLowerLatin1(lines[i]).find(header) == std::string::npos) {
            continue;
        }
        found.sectionFound = true;
        found.sectionLine = i;
        for (size_t j = i; j < lines.size(); ++j) {
            pump();
            const std::string line = toLowerLatin1(lines[j]);
            if (line.find('[') != std::string::npos && line != header) {
                break;
            }
            if (line.find(keyEquals) != std::string::npos) {
                found.keyFound = true;
                found.keyLine = j;
            }
        }
    }
    return found;
}

Lines readLines(const std::string& path, const Pump& pump) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return {};
    }
    const TextLines::FileHead head = TextLines::readFileHead(path);
    if (!head.complete) {
        throw std::runtime_error(path +
                                 " is larger than 1 MB, far more than settings take; it was "
                                 "left as it is");
    }
    Lines lines = TextLines::splitLines(head.bytes);
    // The same chances for events as reading the lines one by one would give.
    for (size_t i = 0; i < lines.size(); ++i) {
        pump();
    }
    return lines;
}

std::string joinLines(const Lines& lines, const Pump& pumpPerLine) {
    std::string bytes;
    for (const std::string& line : lines) {
        bytes += line + "\r\n";
        pumpPerLine();
    }
    return bytes;
}

// Refuses a second write of a path while one is in progress: the first would rename its
// contents over the second's and lose its value.
class WriteInProgress {
public:
    explicit WriteInProgress(const std::string& path) : m_path(path) {
        if (!paths().insert(path).second) {
            throw std::runtime_error("a write of " + path + " is already in progress");
        }
    }
    ~WriteInProgress() { paths().erase(m_path); }
    WriteInProgress(const WriteInProgress&) = delete;
    WriteInProgress& operator=(const WriteInProgress&) = delete;

private:
    static std::set<std::string>& paths() {
        static std::set<std::string> inProgress;
        return inProgress;
    }
    std::string m_path;
};

}  // namespace

std::string ReadINI(const std::string& section, const std::string& key, const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return {};
    }
    SectionScanner scanner(TextLines::splitLines(TextLines::readFileHead(path).bytes));
    return scanner.find(toLowerLatin1(section), toLowerLatin1(key));
}

void WriteINI(const std::string& section, const std::string& key, const std::string& value,
              const std::string& path, const std::function<void()>& pumpEvents) {
    const Pump pump = [&pumpEvents] {
        if (pumpEvents) {
            pumpEvents();
        }
    };
    const Pump noPump = [] {};
    const std::string header = std::string("[").append(toLowerLatin1(trimSpaces(section))) + "]";
    const std::string keyName = toLowerLatin1(trimSpaces(key));
    const std::string entry = keyName + "=" + toLowerLatin1(trimSpaces(value));

    const WriteInProgress guard(path);
    Lines lines = readLines(path, pump);
    const KeySearch found = findKey(lines, header, keyName + "=", pump);
    std::string bytes;
    if (found.keyFound) {
        lines[found.keyLine] = entry;
        bytes = joinLines(lines, pump);
    } else if (found.sectionFound) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(found.sectionLine) + 1, entry);
        bytes = joinLines(lines, noPump);
    } else {
        lines.push_back(header);
        lines.push_back(entry);
        bytes = joinLines(lines, noPump);
    }
    replaceFileContents(path, bytes);
}

void WriteINI(const std::string& section, const std::string& key, long value,
              const std::string& path, const std::function<void()>& pumpEvents) {
    WriteINI(section, key, std::to_string(value), path, pumpEvents);
}

}  // namespace INIReadWrite
