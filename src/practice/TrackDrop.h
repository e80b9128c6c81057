#pragma once

#include <QObject>
#include <functional>
#include <string>
#include <vector>

class QWidget;

// A file dropped on any of the given windows, on any control of theirs, goes to the track page:
// the windows take a drag that carries a local file, and hand the first such file on.
class TrackDrop : public QObject {
public:
    using Open = std::function<void(const std::string& path)>;
    TrackDrop(QObject& parent, std::vector<QWidget*> windows, Open open);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool ours(QObject* watched) const;

    std::vector<QWidget*> m_windows;
    Open m_open;
};
