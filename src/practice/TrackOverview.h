#pragma once

#include <QWidget>
#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "audio/BeatGrid.h"
#include "practice/TrackPeaks.h"

// The whole backing track at a glance: its peaks, drawn per pixel once they have been read in
// the background (the track plays meanwhile), the play head and the A-B loop, and once the
// track's beats are known, a tick on each and the bars' lines and numbers (the analysis' progress
// until then). A click asks to go there; a drag selects a loop, and a drag of the A or B marker
// moves it.
class QPainter;

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
    void setGrid(std::optional<BeatGrid> grid);
    // 0..1 while the track is analysed; nothing once it is done.
    void setAnalysisProgress(std::optional<double> progress);

signals:
    void seekRequested(double seconds);
    void loopChosen(double a, double b);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void stopScan();
    double secondsAt(double x) const;
    double xOf(double seconds) const;
    void paintGrid(QPainter& painter) const;
    void paintProgress(QPainter& painter) const;

    std::string m_path;
    TrackPeaks m_peaks;
    std::vector<std::pair<float, float>> m_columns;  // lowest and highest, per pixel
    double m_position = 0;
    std::optional<double> m_a, m_b;
    bool m_loopOn = false;
    std::optional<BeatGrid> m_grid;
    std::optional<double> m_analysed;
    // A drag: where it began, and which marker it holds (the one that stays is the other).
    std::optional<double> m_pressedAt;
    std::optional<double> m_anchor;
    std::atomic<bool> m_cancel{false};
    std::thread m_scan;
};
