#pragma once

#include <cstdint>

// A synthesizer that can be driven one short message at a time and rendered block by block.
class SynthEngine {
public:
    // The engine renders in blocks of this many frames; a message applied between two renders
    // takes effect at the next block boundary.
    static constexpr int kBlockFrames = 64;

    virtual ~SynthEngine() = default;
    virtual void apply(uint32_t message) = 0;
    virtual void render(float* left, float* right, int frames) = 0;
    virtual bool isSounding() const = 0;
};
