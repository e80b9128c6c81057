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
    // Asks for a file to write, starting from `suggested`: the name chosen, empty after a cancel.
    // A dialog that only opens files answers as a cancel. FileName is left as it was.
    virtual std::string ShowSave(const std::string& suggested) {
        (void)suggested;
        return {};
    }
};
