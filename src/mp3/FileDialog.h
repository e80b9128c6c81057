#pragma once

#include <string>

// The file-open dialog as the MP3 panel uses it. It remembers the last file chosen: after a
// cancel FileName still reports the previous choice, empty before the first.
class FileDialog {
public:
    virtual ~FileDialog() = default;
    // Entries "description|pattern", joined by '|': "(*.mp3;)|*.mp3".
    virtual void Filter(const std::string& filter) = 0;
    // Shows the modal dialog and returns when the user has closed it.
    virtual void ShowOpen() = 0;
    virtual std::string FileName() const = 0;
};
