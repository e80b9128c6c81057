#pragma once

// What the libraries RZ77 uses (ALSA, JACK, RtMidi) say of themselves: on a machine without an
// ALSA sequencer or a JACK server they speak up at every start, and nobody needs to read it.
// Written to stderr only when RZ77 runs verbose (--verbose, or RZ77_VERBOSE set in the
// environment). RZ77's own reports do not go through here.
void setLibraryLogVerbose(bool verbose);
void logLibraryMessage(const char* library, const char* text);
