#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "common/MessageReporter.h"
#include "midi/MidiDeviceList.h"
#include "midi/MidiSystem.h"

// A MIDI system that records every call, for tests. Devices are named "Device <id>"; the mapper
// and any device can be made to fail.
class RecordingMidi : public MidiSystem {
public:
    int32_t devices = 2;
    bool hasMapper = true;
    std::set<int32_t> unqueryable;
    std::set<int32_t> failingOpen;
    MidiResult closeResult = MidiResultCode::Ok;
    MidiResult failingSend = MidiResultCode::InvalidHandle;  // what a send without a device gets

    std::vector<std::string> calls;       // "open -1", "close 1", ...
    std::vector<uint32_t> sent;           // messages that reached an open device
    std::vector<Clock::time_point> dues;  // when each of them was due
    uint32_t openHandle = 0;

    int32_t deviceCount() override { return devices; }
    MidiResult deviceName(int32_t id, std::string& name) override {
        const bool exists = id == MidiMapperId ? hasMapper : id >= 0 && id < devices;
        if (!exists || unqueryable.count(id) != 0) {
            return MidiResultCode::BadDeviceId;
        }
        name = "Device " + std::to_string(id);
        return MidiResultCode::Ok;
    }
    MidiResult open(int32_t id, uint32_t& handle) override {
        calls.push_back("open " + std::to_string(id));
        handle = 0;
        if (failingOpen.count(id) != 0) {
            return MidiResultCode::DriverError;
        }
        handle = openHandle = ++m_handles;
        return MidiResultCode::Ok;
    }
    MidiResult close(uint32_t handle) override {
        calls.push_back("close " + std::to_string(handle));
        openHandle = 0;
        return closeResult;
    }
    MidiResult sendShort(uint32_t handle, uint32_t message, Clock::time_point due) override {
        if (handle == 0 || handle != openHandle) {
            return failingSend;
        }
        sent.push_back(message);
        dues.push_back(due);
        if (onSend) {
            onSend(message);
        }
        return MidiResultCode::Ok;
    }
    std::string errorText(MidiResult code) override { return "error " + std::to_string(code); }

    std::function<void(uint32_t)> onSend;

private:
    uint32_t m_handles = 0;
};

class RecordingReporter : public MessageReporter {
public:
    std::vector<std::string> shown;
    std::vector<std::string>* sharedLog = nullptr;  // interleaves reports with other calls

    void show(const std::string& text) override {
        shown.push_back(text);
        if (sharedLog != nullptr) {
            sharedLog->push_back("show " + text);
        }
    }
};

class RecordingList : public MidiDeviceList {
public:
    std::vector<std::string> texts;
    std::vector<int32_t> data;
    int clears = 0;

    void Clear() override {
        ++clears;
        texts.clear();
        data.clear();
    }
    void AddItem(const std::string& text) override {
        texts.push_back(text);
        data.push_back(0);
    }
    int NewIndex() const override { return static_cast<int>(texts.size()) - 1; }
    void ItemData(int index, int32_t value) override { data.at(index) = value; }
    int32_t ItemData(int index) const override { return data.at(index); }
};

// Splits a packed short message into its four bytes, lowest first.
inline std::vector<int> messageBytes(uint32_t message) {
    return {int(message & 0xFF), int((message >> 8) & 0xFF), int((message >> 16) & 0xFF),
            int(message >> 24)};
}
