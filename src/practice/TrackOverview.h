#pragma once

#include <QWidget>
#include <atomic>
#include <optional>
#include <string>
#include <thread>

#include "practice/TrackPeaks.h"

// The whole backing track at a glance: its peaks, drawn per pixel once they have been read in
// the background (the track plays meanwhile), and the play head. A click asks to go there.
class TrackOverview : public QWidget {
    Q_OBJECT
public:
    explicit TrackOverview(QWidget* parent);
    ~TrackOverview() override;

    // A new path is read anew; an empty one shows nothing.
    void showTrack(const std::string& path);
    void setPosition(double seconds);
    // The A and B markers, and between them the loop, brighter while it is on.
    void setLoop(std::optional<double> a, std::optional<double> b, bool on);
    double lengthSeconds() const { return m_peaks.lengthSeconds(); }

signals:
    void seekRequested(double seconds);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void stopScan();

    std::string m_path;
    TrackPeaks m_peaks;
    double m_position = 0;
    std::optional<double> m_a, m_b;
    bool m_loopOn = false;
    std::atomic<bool> m_cancel{false};
    std::thread m_scan;
};
