#pragma once

#include <string>

// Replaces a file's contents so that, whatever happens meanwhile (a crash, a kill, a full disk),
// the file afterwards holds either its old contents or the new ones in full: the new contents go
// to a temporary file in the same folder, reach the disk, and are then renamed over the file.
// Throws std::system_error on failure, leaving the file as it was and no temporary file behind.
void replaceFileContents(const std::string& path, const std::string& bytes);
