#pragma once

#include <string>
#include <vector>

#include "common/ClickProgram.h"

// A one-preset sound font, made by the program itself, that turns the click program (bank 0)
// into a short percussive click at every key: the metronome's voice on the built-in synthesizer.
// The accent's key sounds a higher tick.
namespace ClickSoundFont {

// The name under which the synthesizer's loader recognises the in-memory font.
constexpr const char* kName = "rz77:metronome-click.sf2";

// The complete SoundFont 2 file.
const std::string& bytes();

}  // namespace ClickSoundFont
