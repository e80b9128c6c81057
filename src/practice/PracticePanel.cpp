#include "practice/PracticePanel.h"

#include <QEvent>
#include <QMenu>
#include <QPainterPath>
#include <QPushButton>
#include <QShortcut>
#include <algorithm>

#include "app/MainMenu.h"
#include "app/MainWindowHost.h"
#include "app/ShortcutKeys.h"
#include "app/SkinnedWindow.h"
#include "mp3/TrackPlaybackControl.h"
#include "practice/MetronomePage.h"
#include "practice/PanelControls.h"
#include "practice/SectionsPage.h"
#include "practice/TrackDrop.h"
#include "practice/TrackPage.h"
#include "practice/TunerPage.h"
#include "settings/StartupSettings.h"

namespace {
constexpr int kWidthTwips = 4500;
constexpr int kHeightTwips = 5655;
constexpr double kSkinWidthTwips = 4500;  // the 300 x 380 pixel skin at 96 dpi
constexpr double kSkinHeightTwips = 5700;
constexpr const char* kOpenKey = "panel/open";
constexpr const char* kPageKey = "panel/page";

QRegion roundedOutline(const QSize& size, double radius) {
    QPainterPath path;
    path.addRoundedRect(QRectF(QPointF(0, 0), size), radius, radius);
    return QRegion(path.toFillPolygon().toPolygon());
}
// The track page takes these while the panel has the keys.
void listPanelKeys(ShortcutKeys& keys) {
    const struct {
        QList<QKeySequence> keys;
        const char* action;
    } pageKeys[] = {
        {{Qt::Key_Left, Qt::Key_Right}, "Practice panel: 5 s back, on (with Shift 1 s)"},
        {{Qt::Key_Home}, "Practice panel: to A, or the start"},
        {{Qt::Key_BracketLeft, Qt::Key_BracketRight}, "Practice panel: set A, set B"},
        {{Qt::Key_Backslash}, "Practice panel: A-B loop on and off"},
        {{Qt::Key_O}, "Practice panel: open any audio file on the track page"},
        {{Qt::Key_Minus, Qt::Key_Equal}, "Practice panel: speed down, up"},
        {{Qt::Key_Comma, Qt::Key_Period}, "Practice panel: transpose down, up"},
        {{Qt::Key_Less, Qt::Key_Greater}, "Practice panel: fine tune down, up"},
        {{Qt::Key_R}, "Practice panel: speed trainer on and off"},
        {{Qt::Key_Underscore, Qt::Key_Plus}, "Practice panel: trainer step down, up"},
        {{Qt::Key_BraceLeft, Qt::Key_BraceRight}, "Practice panel: trainer target down, up"},
        {{Qt::Key_C}, "Practice panel: count-in on and off"},
        {{Qt::Key_F}, "Practice panel: the faster stretcher on and off"},
        {{Qt::Key_T}, "Practice panel: tap the track's tempo"},
        {{Qt::Key_B}, "Practice panel: type the track's tempo"},
        {{Qt::Key_1, Qt::Key_2, Qt::Key_4, Qt::Key_8},
         "Practice panel, with a beat grid: loop 1, 2, 4, 8 bars from this bar"},
        {{Qt::Key_9, Qt::Key_0},
         "Practice panel, with a beat grid: the loop back, on by its length"},
        {{Qt::Key_D, Qt::Key_H}, "Practice panel: the beat grid at twice, half the tempo"},
        {{Qt::Key_N}, "Practice panel: the beat at the play head is the bar's one"},
        {{Qt::Key_U, Qt::Key_I}, "Practice panel: the beat grid 5 ms earlier, later"},
        {{Qt::Key_M}, "Practice panel: the click on the track's beats on and off"},
        {{Qt::Key_A}, "Practice panel: play the track at A440"},
        {{Qt::Key_Q}, "Practice panel: the tuner to the recording's tuning"},
        {{QKeySequence(Qt::CTRL | Qt::Key_PageUp), QKeySequence(Qt::CTRL | Qt::Key_PageDown)},
         "Practice panel: the other page"},
        {{Qt::Key_Minus, Qt::Key_Equal}, "Metronome page: fewer, more beats per bar"},
        {{Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down},
         "Metronome page: choose a beat, mark it accent, normal or silent"},
        {{Qt::Key_A}, "Metronome page: accents on and off"},
        {{Qt::Key_S}, "Metronome page: subdivision off, 2, 3, 4"},
        {{Qt::Key_Comma, Qt::Key_Period}, "Metronome page: less, more swing"},
        {{Qt::Key_V}, "Metronome page: visual beat on and off"},
        {{Qt::Key_R, Qt::Key_H}, "Metronome page: tempo trainer on and off, hold or stop"},
        {{Qt::Key_F, Qt::Key_D, Qt::Key_E, Qt::Key_U},
         "Metronome page: type the trainer's start, step, bars, target"},
        {{Qt::Key_G, Qt::Key_P, Qt::Key_M}, "Metronome page: gap trainer on and off, play, mute"},
        {{Qt::Key_Space}, "Metronome page: start or stop the metronome"},
        {{Qt::Key_C, Qt::Key_I}, "Metronome page: timing coach on and off, its report"},
        {{Qt::Key_B, Qt::Key_N},
         "Metronome page: calibrate the coach by clicks heard back, by taps on headphones"},
        {{Qt::Key_T, Qt::Key_K},
         "Metronome page: play the coach's last take with its click, keep it as a WAV"},
        {{Qt::Key_L}, "Tuner page: listen on and off"},
        {{Qt::Key_R, Qt::Key_C}, "Tuner page: type the reference pitch, the custom tuning"},
        {{Qt::Key_T}, "Tuner page: the next tuning"},
        {{Qt::Key_W, Qt::Key_S}, "Tuner page: follow the strings, sustain on and off"},
        {{Qt::Key_1, Qt::Key_2, Qt::Key_3, Qt::Key_4, Qt::Key_5, Qt::Key_6, Qt::Key_7, Qt::Key_8,
          Qt::Key_9},
         "Sections page: loop section 1 to 9"},
        {{Qt::Key_Up, Qt::Key_Down}, "Sections page: loop the section before, after"},
        {{QKeySequence(Qt::SHIFT | Qt::Key_Up), QKeySequence(Qt::SHIFT | Qt::Key_Down)},
         "Sections page: move the chosen section up, down"},
        {{Qt::Key_A}, "Sections page: add the track page's loop as a section"},
        {{Qt::Key_N, Qt::Key_Delete}, "Sections page: rename, delete the chosen section"},
        {{Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_O},
         "Sections page: pick a recent track, open it"},
    };
    for (const auto& entry : pageKeys) {
        keys.list(entry.keys, QObject::tr(entry.action));
    }
}

}  // namespace

PracticePanel::PracticePanel(MainWindowHost& main, TrackPlaybackControl& track,
                             Metronome& metronome, Tuner& tuner, ReferenceVoice& voice,
                             NoteOutput& output)
    : QWidget(&main.widget(), Qt::Tool | Qt::FramelessWindowHint),
      m_host(main),
      m_main(main.widget()),
      m_settings(QString::fromStdString(practiceSettingsPath(main.environment().programDir)),
                 QSettings::IniFormat) {
    const ScreenUnits& u = main.environment().units;
    // A press on the body moves the main window, which the panel follows.
    m_skin = new SkinnedWindow(
        *this, QStringLiteral(":/assets/practice-skin.svg"),
        u.toPixelsF(kSkinWidthTwips, kSkinHeightTwips),
        [this](Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
            const QPoint at = m_main.mapFromGlobal(mapToGlobal(QPoint(x, y)));
            m_host.Form_MouseDown(button, shift, at.x(), at.y());
        });
    setObjectName("practicePanel");
    setWindowTitle(tr("RZ77 Practice"));
    setFixedSize(u.toPixelsX(kWidthTwips), u.toPixelsY(kHeightTwips));
    m_skin->setOutline(roundedOutline(size(), u.toPixelsX(210)));
    m_trackPage = new TrackPage(*this, track, m_settings, u);
    addPage(m_trackPage, ":/assets/practice-skin.svg", tr("TRACK"),
            u.toPixels(80 * 15, 16 * 15, 40 * 15, 14 * 15));
    auto* metronomePage = new MetronomePage(*this, metronome, track, output, m_settings, u);
    addPage(metronomePage, ":/assets/practice-metronome-skin.svg", tr("METRONOME"),
            u.toPixels(124 * 15, 16 * 15, 62 * 15, 14 * 15));
    // The coach's take plays through the track player, for its PLAY, PAUSE and STOP.
    connect(metronomePage, &MetronomePage::takePlaybackWanted, this,
            [this, &track](const std::string& mixPath) {
                m_trackPage->open(mixPath);
                track.play();
            });
    auto* tunerPage = new TunerPage(*this, main, tuner, voice, output, m_settings, u);
    addPage(tunerPage, ":/assets/practice-tuner-skin.svg", tr("TUNER"),
            u.toPixels(190 * 15, 16 * 15, 40 * 15, 14 * 15));
    addPage(new SectionsPage(*this, track, *m_trackPage, m_settings, u),
            ":/assets/practice-sections-skin.svg", tr("SECTIONS"),
            u.toPixels(234 * 15, 16 * 15, 52 * 15, 14 * 15));
    connect(m_trackPage, &TrackPage::tunerWanted, tunerPage, &TunerPage::matchRecording);
    const auto turn = [this](int by) {
        showPage((m_page + by + static_cast<int>(m_pages.size())) %
                 static_cast<int>(m_pages.size()));
    };
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageDown), this), &QShortcut::activated,
            this, [turn] { turn(1); });
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageUp), this), &QShortcut::activated,
            this, [turn] { turn(-1); });
    showPage(
        std::clamp(m_settings.value(kPageKey, 0).toInt(), 0, static_cast<int>(m_pages.size()) - 1));

    auto* menu = new QMenu(this);
    connect(menu->addAction(tr("&Close")), &QAction::triggered, this, &PracticePanel::toggle);
    m_skin->setMenu(*menu);
    const QString toggleText = tr("Open or close the practice panel");
    main.shortcuts().add({Qt::Key_F2}, toggleText, [this] { toggle(); });
    listPanelKeys(main.shortcuts());
    connect(new QShortcut(Qt::Key_F2, this), &QShortcut::activated, this, &PracticePanel::toggle);
    main.contextMenu().setPracticeHandler([this] { toggle(); });

    m_main.installEventFilter(this);
    new TrackDrop(*this, {&m_main, this}, [this](const std::string& path) {
        setOpen(true);
        showPage(0);
        m_trackPage->open(path);
    });
}

void PracticePanel::addPage(QWidget* page, const QString& skin, const QString& tab,
                            const QRect& tabAt) {
    const int index = static_cast<int>(m_pages.size());
    auto* button = PanelControls::button(
        *this, m_host.environment().units, tab, page->objectName() + "Tab",
        tr("The %1 page (Ctrl+Page Up, Ctrl+Page Down)").arg(tab.toLower()), tabAt);
    button->setCheckable(true);
    connect(button, &QPushButton::clicked, this, [this, index] { showPage(index); });
    m_pages.push_back({page, skin, button});
}

void PracticePanel::showPage(int index) {
    m_page = index;
    for (int i = 0; i < static_cast<int>(m_pages.size()); ++i) {
        m_pages[i].widget->setVisible(i == index);
        m_pages[i].tab->setChecked(i == index);
    }
    m_skin->setSkin(m_pages[index].skin);
    m_settings.setValue(kPageKey, index);
    m_pages[index].widget->setFocus();
}

void PracticePanel::toggle() {
    setOpen(!isVisible());
}

void PracticePanel::setOpen(bool open) {
    m_settings.setValue(kOpenKey, open);
    m_settings.sync();
    if (open) {
        dock();
        show();
        m_pages[m_page].widget->setFocus();
    } else {
        hide();
    }
}

void PracticePanel::dock() {
    const QRect main = m_main.geometry();
    move(main.right() + 1, main.top());
}

// The panel goes where the main window goes, and shows only while it does.
bool PracticePanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &m_main && (event->type() == QEvent::Move || event->type() == QEvent::Show)) {
        dock();
        if (event->type() == QEvent::Show && m_settings.value(kOpenKey, false).toBool()) {
            show();
        }
    }
    return false;
}
