#pragma once

#include <string>

// Shows a message to the user and waits until it has been acknowledged.
class MessageReporter {
public:
    virtual ~MessageReporter() = default;
    virtual void show(const std::string& text) = 0;
};
