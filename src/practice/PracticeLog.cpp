#include "practice/PracticeLog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>
#include <system_error>

#include "settings/FileReplace.h"

namespace {

constexpr size_t kLeadingColumns = 5;  // before the name

std::optional<int> count(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value >= 0
               ? std::optional(value)
               : std::nullopt;
}

bool isDay(std::string_view text) {
    return text.size() == 10 && text[4] == '-' && text[7] == '-' && count(text.substr(0, 4)) &&
           count(text.substr(5, 2)) && count(text.substr(8, 2));
}

// The fields of a CSV line; a quoted field may hold commas and doubled quotes. Nothing when a
// quote is left open.
std::optional<std::vector<std::string>> csvFields(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            fields.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return quoted ? std::nullopt : std::optional(std::move(fields));
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '\n' || c == '\r') {
            out += ' ';
        } else {
            out += c == '"' ? "\"\"" : std::string(1, c);
        }
    }
    return out + '"';
}

// Held while the log is read and replaced: an advisory lock on a file of its own beside the log
// (the log itself is a new file after each replace). The system lets it go if the program dies.
class LogLock {
public:
    explicit LogLock(const std::string& logPath) {
        const std::string path = logPath + ".lock";
        m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (m_fd < 0) {
            throw std::system_error(errno, std::generic_category(), "cannot open " + path);
        }
        while (::flock(m_fd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                const int error = errno;
                ::close(m_fd);
                throw std::system_error(error, std::generic_category(), "cannot lock " + path);
            }
        }
    }
    ~LogLock() { ::close(m_fd); }
    LogLock(const LogLock&) = delete;
    LogLock& operator=(const LogLock&) = delete;

private:
    int m_fd;
};

}  // namespace

namespace PracticeLog {

std::string formatLine(const PracticeSession& s) {
    return s.day + ',' + s.track + ',' + std::to_string(s.section) + ',' +
           std::to_string(s.seconds) + ',' + (s.fastest ? std::to_string(*s.fastest) : "") + ',' +
           quoted(s.name);
}

std::optional<PracticeSession> parseLine(const std::string& line) {
    const auto fields = csvFields(line);
    if (!fields || fields->size() <= kLeadingColumns) {
        return std::nullopt;
    }
    const auto& f = *fields;
    const auto section = count(f[2]);
    const auto seconds = count(f[3]);
    const auto fastest = count(f[4]);
    if (!isDay(f[0]) || f[1].empty() || !section || !seconds || (!f[4].empty() && !fastest)) {
        return std::nullopt;
    }
    return PracticeSession{f[0], f[1], *section, *seconds, fastest, f[5]};
}

void append(const std::string& path, const PracticeSession& session) {
    const LogLock lock(path);
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    if (in) {
        text << in.rdbuf();
    }
    std::string bytes = text.str();
    if (bytes.empty()) {
        bytes = std::string(kHeader) + '\n';
    } else if (bytes.back() != '\n') {
        bytes += '\n';
    }
    replaceFileContents(path, bytes + formatLine(session) + '\n');
}

std::vector<PracticeSession> read(const std::string& path, const std::string& track) {
    std::vector<PracticeSession> sessions;
    std::ifstream in(path, std::ios::binary);
    const std::string marker = ',' + track + ',';
    for (std::string line; std::getline(in, line);) {
        // Most lines are other tracks': they are passed over without being taken apart.
        if (line.size() < 10 + marker.size() || line.compare(10, marker.size(), marker) != 0) {
            continue;
        }
        if (auto session = parseLine(line); session && session->track == track) {
            sessions.push_back(std::move(*session));
        }
    }
    return sessions;
}

std::vector<PracticeDay> daysOf(const std::vector<PracticeSession>& sessions, int section) {
    std::map<std::string, PracticeDay> days;
    for (const PracticeSession& s : sessions) {
        if (s.section != section) {
            continue;
        }
        PracticeDay& day = days[s.day];
        day.day = s.day;
        day.seconds += s.seconds;
        if (s.fastest && (!day.fastest || *s.fastest > *day.fastest)) {
            day.fastest = s.fastest;
        }
    }
    std::vector<PracticeDay> ordered;
    for (auto& [name, day] : days) {
        ordered.push_back(std::move(day));
    }
    return ordered;
}

std::string today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

}  // namespace PracticeLog
