#pragma once

#include <functional>
#include <string>

// Reads and writes the program's small settings file: "[section]" headers followed by "key=value"
// lines. Text is 8-bit (Latin-1); lines end at CR LF or CR alone.
namespace INIReadWrite {

// Returns the trimmed value of the first matching key in the first matching section, or "" when
// the file, section or key is missing. Section and key are compared case-insensitively.
// Throws std::system_error when the file exists but cannot be read.
// Only the first megabyte of the file is read; a value beyond it is not found.
std::string ReadINI(const std::string& section, const std::string& key, const std::string& path);

// Stores value under key in section, replacing the key's entry or adding one (and the section's
// header when it is missing), and keeps every other line. Section, key and value are trimmed and
// lower-cased; every line is written with CR LF. pumpEvents, when given, runs once per line read,
// per line scanned and, when an entry is replaced, per line written, so a window stays live.
// The file always holds either its old contents or the new ones: any failure throws
// std::system_error and leaves it as it was. A file larger than the reader's megabyte is refused
// with std::runtime_error (the reader would never see a value stored beyond it), and so is a
// second write of the same path begun from pumpEvents while the first is in progress.
void WriteINI(const std::string& section, const std::string& key, const std::string& value,
              const std::string& path, const std::function<void()>& pumpEvents = {});
void WriteINI(const std::string& section, const std::string& key, long value,
              const std::string& path, const std::function<void()>& pumpEvents = {});

}  // namespace INIReadWrite
