#pragma once

#include <chrono>
#include <cstdint>
#include <string>

// Result of a MIDI system call: 0 is success, anything else names a failure whose text
// MidiSystem::errorText gives.
using MidiResult = uint32_t;

namespace MidiResultCode {
constexpr MidiResult Ok = 0;
constexpr MidiResult BadDeviceId = 2;
constexpr MidiResult Allocated = 4;
constexpr MidiResult InvalidHandle = 5;
constexpr MidiResult DriverError = 6;
}  // namespace MidiResultCode

// The identifier that selects the built-in synthesizer rather than a port of the system.
constexpr int32_t MidiMapperId = -1;

// What the program needs of the machine's MIDI output: devices by identifier (-1 and 0..n-1),
// handles to opened devices, and packed short messages sent through them, each with the moment
// it is due to sound.
class MidiSystem {
public:
    using Clock = std::chrono::steady_clock;

    virtual ~MidiSystem() = default;

    virtual int32_t deviceCount() = 0;
    // Whether port deviceId (0..n-1) is there, where asking for it alone may cost less.
    virtual bool hasPort(int32_t deviceId) { return deviceId >= 0 && deviceId < deviceCount(); }
    virtual MidiResult deviceName(int32_t deviceId, std::string& name) = 0;
    // On success stores a non-zero handle; on failure stores 0.
    virtual MidiResult open(int32_t deviceId, uint32_t& handle) = 0;
    virtual MidiResult close(uint32_t handle) = 0;
    virtual MidiResult sendShort(uint32_t handle, uint32_t message, Clock::time_point due) = 0;
    virtual std::string errorText(MidiResult code) = 0;
    // From a message's due time to its sound leaving the device, where the device tells.
    virtual Clock::duration heardAfter(uint32_t /*handle*/) { return {}; }
    // A4 for what the device sounds, where it is the program's own synthesizer; a port plays at
    // its own pitch and receives nothing for it.
    virtual void setReferencePitch(double /*a4*/) {}
};
