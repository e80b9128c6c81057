#pragma once

#include <optional>
#include <string>
#include <vector>

// The instrument list "genmidi.rz": one name per line, line k naming MIDI program k - 1. It lives
// beside the program, or in ../share/rz77/ of an installed one.
namespace InstrumentList {

constexpr const char* kFileName = "genmidi.rz";

// The list: beside the program, else in ../share/rz77/ from its directory; empty when neither
// exists.
std::string path(const std::string& programDir);

// The lines of the first list found, exactly as read (an empty line gives an empty name);
// std::nullopt when there is none that can be read.
std::optional<std::vector<std::string>> read(const std::string& programDir);

}  // namespace InstrumentList
