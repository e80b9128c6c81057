#pragma once

#include <optional>
#include <string>
#include <vector>

// The practice log: one line a session of practice on a section of a track, in a CSV file a
// spreadsheet reads as it is. Its first line names the columns:
//   day,track,section,seconds,fastest,name
//   2026-12-11,<track key>,3,312,85,"The solo"
// day is the local date; track the track's key (see common/TrackKey.h); section the section's id
// in the track's sections file; seconds the time the track played with the section's loop;
// fastest the highest speed, in percent, of a pass of the loop played whole (empty when none
// was); name the section's name then. Columns added later go after these.
struct PracticeSession {
    std::string day;  // YYYY-MM-DD
    std::string track;
    int section = 0;
    int seconds = 0;
    std::optional<int> fastest;
    std::string name;
    bool operator==(const PracticeSession&) const = default;
};

// A section's practice on one day: its sessions added up.
struct PracticeDay {
    std::string day;
    int seconds = 0;
    std::optional<int> fastest;
    bool operator==(const PracticeDay&) const = default;
};

namespace PracticeLog {

constexpr const char* kHeader = "day,track,section,seconds,fastest,name";

std::string formatLine(const PracticeSession& session);
// Nothing for a line that is not a session (the header, a damaged line).
std::optional<PracticeSession> parseLine(const std::string& line);

// Adds the session's line. The file is replaced whole (a crash leaves it as it was or with the
// line), under a lock that another instance of the program waits for, so that neither loses the
// other's lines. Throws std::system_error.
void append(const std::string& path, const PracticeSession& session);
// The track's sessions in the file's order; lines that are no sessions are passed over.
std::vector<PracticeSession> read(const std::string& path, const std::string& track);
// A section's days, oldest first, from the track's sessions.
std::vector<PracticeDay> daysOf(const std::vector<PracticeSession>& sessions, int section);

// Today's date where the user is, as the log writes it.
std::string today();

}  // namespace PracticeLog
