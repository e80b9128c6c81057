#pragma once

#include <string>

// Character helpers that the settings and the tempo box share.

// Removes leading and trailing spaces (character 32 only; tabs stay).
std::string trimSpaces(const std::string& s);

// Lower-cases ASCII and Latin-1 letters.
std::string toLowerLatin1(std::string s);

// UTF-8 text as Latin-1 bytes; a character Latin-1 lacks, or a byte that is no UTF-8, becomes '?'.
std::string latin1FromUtf8(const std::string& utf8);
