#pragma once

#include <string>
#include <vector>

// A one-preset sound font, made by the program itself, that turns program 127 (bank 0) into a
// short percussive click at every key: the metronome's voice on the built-in synthesizer.
namespace ClickSoundFont {

constexpr int kProgram = 127;
// The name under which the synthesizer's loader recognises the in-memory font.
constexpr const char* kName = "rz77:metronome-click.sf2";

// The complete SoundFont 2 file.
const std::string& bytes();

}  // namespace ClickSoundFont
