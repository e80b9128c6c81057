#pragma once

#include <optional>
#include <string>

// A track's name by its content, so that what is kept for a track (its beat grid, its sections)
// finds it again after the file is moved or renamed, and not after it is changed: the file's
// length and a hash of its first and last megabyte. Reading those two megabytes takes a few
// milliseconds, where hashing a whole hour of audio would take seconds.
// Nothing when the file cannot be read.
std::optional<std::string> trackKey(const std::string& path);
