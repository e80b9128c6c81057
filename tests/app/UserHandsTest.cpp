// Long seeded sequences of what a user's hands do (clicks, drags, keys, typed text, Setup opened
// and closed, tracks opened, pages switched) on the assembled windows, with invariants checked
// after every step. Each run goes in a child process, so a crash or a hang is a finding too; a
// failing run is cut down to the shortest sequence found that still fails, which is printed.
//
// RZ77_HANDS_SEEDS=first-last and RZ77_HANDS_STEPS=n choose a longer run.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <array>
#include <fstream>
#include <iostream>
#include <random>
#include <thread>

#include "MakeMp3.h"
#include "RecordingMidi.h"
#include "SilentSink.h"
#include "TempDir.h"
#include "app/frmMain.h"
#include "audio/AudioEngine.h"
#include "metronome/Metronome.h"
#include "midi/KeptSynthSounds.h"
#include "midi/MidiOutput.h"
#include "mp3/FileDialog.h"
#include "mp3/Mp3Panel.h"
#include "mp3/TrackPlaybackControl.h"
#include "practice/CoachTake.h"
#include "practice/PracticePanel.h"
#include "practice/TrackPage.h"
#include "setup/SetupButton.h"
#include "setup/SkinComboBox.h"
#include "setup/frmSetup.h"
#include "tuner/Tuner.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// What each device would now sound. The built-in synthesizer (-1) is made anew at every open, as
// FluidSynth is; a port's instrument keeps its state. Every message is checked to be well formed.
class DeviceModel : public MidiSystem {
public:
    struct Sent {
        uint32_t message;
        Clock::time_point due;
    };
    std::vector<Sent> sent;
    std::vector<std::string> faults;
    std::array<std::optional<int>, 16> chosen{};  // the last program sent on each channel
    std::array<std::optional<int>, 16> synth{};   // what the open synthesizer has

    int32_t deviceCount() override { return 2; }
    MidiResult deviceName(int32_t id, std::string& name) override {
        if (id < -1 || id > 1) {
            return MidiResultCode::BadDeviceId;
        }
        name = id == -1 ? "Built-in synthesizer" : "Port " + std::to_string(id);
        return MidiResultCode::Ok;
    }
    MidiResult open(int32_t id, uint32_t& handle) override {
        handle = ++m_handles;
        m_open = {handle, id};
        if (id == MidiMapperId) {
            synth = {};
        }
        return MidiResultCode::Ok;
    }
    MidiResult close(uint32_t handle) override {
        if (handle == m_open.first) {
            m_open = {};
        }
        return MidiResultCode::Ok;
    }
    MidiResult sendShort(uint32_t handle, uint32_t message, Clock::time_point due) override {
        if (handle == 0 || handle != m_open.first) {
            return MidiResultCode::InvalidHandle;
        }
        const int status = message & 0xFF, data1 = (message >> 8) & 0xFF,
                  data2 = (message >> 16) & 0xFF;
        if (status < 0x80 || status > 0xEF || data1 > 127 || data2 > 127 || (message >> 24) != 0) {
            faults.push_back("malformed message " + std::to_string(message));
        }
        if ((status & 0xF0) == 0xC0) {
            chosen[status & 0x0F] = data1;
            if (synthOpen()) {
                synth[status & 0x0F] = data1;
            }
        }
        sent.push_back({message, due});
        return MidiResultCode::Ok;
    }
    std::string errorText(MidiResult code) override { return "error " + std::to_string(code); }

    bool synthOpen() const { return m_open.first != 0 && m_open.second == MidiMapperId; }

private:
    uint32_t m_handles = 0;
    std::pair<uint32_t, int32_t> m_open{};
};

// Every other OPEN chooses the tone, the others are cancelled.
class AlternatingDialog : public FileDialog {
public:
    explicit AlternatingDialog(std::string file) : m_file(std::move(file)) {}
    void Filter(const std::string&) override {}
    void ShowOpen() override {
        if (++m_opened % 2 == 1) {
            m_chosen = m_file;
        }
    }
    std::string FileName() const override { return m_chosen; }

private:
    std::string m_file, m_chosen;
    int m_opened = 0;
};

struct Action {
    int kind, a, b;
    std::string text;
};

const char* const kTexts[] = {"120",
                              "432",
                              "440.5",
                              "abc",
                              "",
                              "99999",
                              "-5",
                              "7",
                              "300",
                              "1e308",
                              "nan",
                              "E2 A2 D3 G3 B3 E4",
                              "D2 A2 D3 G3 B3 E4",
                              "C-1 x",
                              "60",
                              "0"};
constexpr int kKinds = 14;

std::vector<Action> actionsFor(unsigned seed, int steps) {
    std::mt19937 random(seed);
    std::vector<Action> actions;
    for (int i = 0; i < steps; ++i) {
        actions.push_back({static_cast<int>(random() % kKinds), static_cast<int>(random() % 1000),
                           static_cast<int>(random() % 1000),
                           kTexts[random() % std::size(kTexts)]});
    }
    return actions;
}

const Qt::Key kMainKeys[] = {
    Qt::Key_1,  Qt::Key_2,      Qt::Key_3,        Qt::Key_4,     Qt::Key_5,      Qt::Key_6,
    Qt::Key_Up, Qt::Key_Down,   Qt::Key_L,        Qt::Key_S,     Qt::Key_Return, Qt::Key_Space,
    Qt::Key_T,  Qt::Key_Y,      Qt::Key_O,        Qt::Key_P,     Qt::Key_K,      Qt::Key_X,
    Qt::Key_F2, Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_Escape};
// Each page's own keys, and a few every page may see.
const std::vector<Qt::Key> kTrackKeys = {
    Qt::Key_Left,      Qt::Key_Right,      Qt::Key_Home,  Qt::Key_BracketLeft, Qt::Key_BracketRight,
    Qt::Key_Backslash, Qt::Key_Minus,      Qt::Key_Equal, Qt::Key_Comma,       Qt::Key_Period,
    Qt::Key_Less,      Qt::Key_Greater,    Qt::Key_R,     Qt::Key_Underscore,  Qt::Key_Plus,
    Qt::Key_BraceLeft, Qt::Key_BraceRight, Qt::Key_C,     Qt::Key_T,           Qt::Key_B};
const std::vector<Qt::Key> kMetronomeKeys = {
    Qt::Key_Minus, Qt::Key_Equal, Qt::Key_Left,  Qt::Key_Right,  Qt::Key_Up, Qt::Key_Down,
    Qt::Key_A,     Qt::Key_S,     Qt::Key_Comma, Qt::Key_Period, Qt::Key_Y,  Qt::Key_V,
    Qt::Key_R,     Qt::Key_H,     Qt::Key_G,     Qt::Key_F,      Qt::Key_D,  Qt::Key_E,
    Qt::Key_U,     Qt::Key_P,     Qt::Key_M,     Qt::Key_Space};
const std::vector<Qt::Key> kTunerKeys = {Qt::Key_L, Qt::Key_R, Qt::Key_T,
                                         Qt::Key_C, Qt::Key_W, Qt::Key_S};
const std::vector<Qt::Key> kAnyPageKeys = {Qt::Key_Space, Qt::Key_Return, Qt::Key_Escape, Qt::Key_5,
                                           Qt::Key_L};
const char* const kHitAreas[] = {"imgString0",  "imgString1", "imgString2",  "imgString3",
                                 "imgString4",  "imgString5", "imgNoteUp",   "imgNoteDown",
                                 "imgPlaynote", "imgLoop",    "imgStopnote", "imgBPMPlay",
                                 "imgBPMStop",  "imgSetup"};

// The assembled program, put together as the real one is, on the device model and a silent sink.
class Hands {
public:
    Hands(const std::string& track, bool verbose)
        : m_verbose(verbose), m_engine(SilentSink::opener()) {
        m_dir.write("rz77.rz", "[Device]\r\nID=-1\r\n[Sound]\r\nID=25\r\n[Channel]\r\nID=1\r\n");
        m_window = std::make_unique<frmMain>(AppEnvironment{m_dir.str(), {}}, m_output);
        ReferenceVoice& voice = m_window->voice;
        m_tuner = new Tuner(*m_window, voice, m_output);
        m_metronome = new Metronome(*m_window, voice, m_output);
        new SetupButton(*m_window, m_output, voice, m_reporter);
        auto control = std::make_unique<TrackPlaybackControl>(m_engine, m_reporter);
        m_panel = new PracticePanel(*m_window, *control, *m_metronome, *m_tuner, voice, m_output);
        m_panel->trackPage().setFileDialog(std::make_unique<AlternatingDialog>(track));
        // Asked to keep a take, it answers as a cancel: no modal dialog may stop the hands.
        m_panel->findChild<CoachTake*>()->setFileDialog(std::make_unique<AlternatingDialog>(track));
        new Mp3Panel(*m_window, std::make_unique<AlternatingDialog>(track), std::move(control));
        m_window->show();
        activate(*m_window);
        for (QPushButton* sustain : m_panel->findChildren<QPushButton*>("sustain")) {
            QObject::connect(sustain, &QPushButton::toggled, [this](bool on) { sustained(on); });
        }
    }
    ~Hands() { m_window.reset(); }

    // The step's fault, or nothing.
    std::optional<std::string> step(const Action& action) {
        const size_t sentBefore = m_model.sent.size();
        m_chosenAtStep = m_model.chosen;
        const std::string settingsBefore = settingsBytes();
        const Before before{m_metronome->isRunning(), m_tuner->tmrLoopSpeed.isActive(),
                            m_metronome->beatInterval(), coachCalibrating()};
        const std::string done = perform(action);
        if (!m_model.faults.empty()) {
            return m_model.faults.front();
        }
        if (done != "Setup OK" && settingsBytes() != settingsBefore) {
            return "rz77.rz changed without OK";
        }
        if (auto fault = checkSounds()) {
            return fault;
        }
        if (auto fault = checkBox()) {
            return fault;
        }
        return done.rfind("wait", 0) == 0 ? checkTicks(before, sentBefore) : std::nullopt;
    }

private:
    struct Before {
        bool metronome, loop;
        int interval;
        bool calibrating;
    };

    frmSetup* dialog() const {
        for (frmSetup* shown : m_window->findChildren<frmSetup*>()) {
            if (shown->isVisible()) {
                return shown;
            }
        }
        return nullptr;
    }

    std::string perform(const Action& act) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (frmSetup* setup = dialog()) {
            m_beforeSustain.reset();  // the sounds are the user's choice again
            return inDialog(*setup, act);
        }
        switch (act.kind) {
            case 0:
            case 1:
                return mainKey(kMainKeys[act.a % std::size(kMainKeys)]);
            case 2:
            case 3:
                return clickHitArea(kHitAreas[act.a % std::size(kHitAreas)]);
            case 4:
                return drag(act);
            case 5:
                return typeTempo(act);
            case 6:
            case 7:
            case 8:
            case 9:
            case 10:
            case 11:
                return m_panel->isVisible() ? onPanel(act) : mainKey(Qt::Key_F2);
            default:
                return wait(act);
        }
    }

    // Keys go to the active window, as the user's would.
    static bool activate(QWidget& window) {
        window.activateWindow();
        return QTest::qWaitFor([&] { return QApplication::activeWindow() == &window; }, 1000);
    }

    QWidget* focusIn(QWidget& window) {
        QWidget* focus = QApplication::focusWidget();
        return focus != nullptr && focus->window() == &window ? focus : &window;
    }

    // Named before it is done, so that the last name printed is the step that crashed.
    std::string say(std::string what) const {
        if (m_verbose) {
            std::cout << "  " << what << "\n" << std::flush;
        }
        return what;
    }

    std::string mainKey(Qt::Key key) {
        const auto what =
            say("key " + QKeySequence(key).toString().toStdString() + " on the main window");
        activate(*m_window);
        QTest::keyClick(focusIn(*m_window), key);
        return what;
    }

    std::string clickHitArea(const char* name) {
        say(std::string("click ") + name);
        activate(*m_window);
        QTest::mouseClick(m_window->findChild<QWidget*>(name), Qt::LeftButton);
        return std::string("click ") + name;
    }

    std::string drag(const Action& act) {
        const char* names[] = {"imgBPMslider", "imgVolLoop0", "imgVolLoop1"};
        const char* name = names[act.a % 3];
        QWidget* widget = m_window->findChild<QWidget*>(name);
        const int by = act.b % 160 - 80;
        const auto what = say(std::string("drag ") + name + " by " + std::to_string(by));
        QTest::mousePress(widget, Qt::LeftButton, {}, QPoint(2, 5));
        QMouseEvent move(QEvent::MouseMove, QPointF(2 + by, 5),
                         widget->mapToGlobal(QPointF(2 + by, 5)), Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(widget, &move);
        QTest::mouseRelease(widget, Qt::LeftButton, {}, QPoint(2 + by, 5));
        return what;
    }

    std::string typeTempo(const Action& act) {
        const Qt::Key end = act.b % 4 == 0 ? Qt::Key_Escape : Qt::Key_Return;
        const auto what =
            say("type tempo '" + act.text + (end == Qt::Key_Escape ? "' Escape" : "' Return"));
        activate(*m_window);
        QTest::mouseClick(m_window->findChild<QWidget*>("lblBPM"), Qt::LeftButton);
        QTest::keyClicks(focusIn(*m_window), QString::fromStdString(act.text));
        QTest::keyClick(focusIn(*m_window), end);
        return what;
    }

    std::string onPanel(const Action& act) {
        switch (act.kind) {
            case 8:
                return typeInPanelBox(act);
            case 9:
                return switchPage(act);
            case 10:
            case 11:
                return clickPanelButton(act);
            default:
                return panelKey(act);
        }
    }

    std::string panelKey(const Action& act) {
        const std::vector<Qt::Key>& keys = act.b % 7 == 0 ? kAnyPageKeys : pageKeys();
        const Qt::Key key = keys[act.a % keys.size()];
        const Qt::KeyboardModifiers shift = act.b % 5 == 0 ? Qt::ShiftModifier : Qt::NoModifier;
        const auto what =
            say("key " + QKeySequence(key | shift).toString().toStdString() + " on the panel");
        activate(*m_panel);
        QTest::keyClick(focusIn(*m_panel), key, shift);
        return what;
    }

    std::string clickPanelButton(const Action& act) {
        std::vector<QPushButton*> buttons;
        for (QPushButton* button : m_panel->findChildren<QPushButton*>()) {
            if (button->isVisible() && button->isEnabled()) {
                buttons.push_back(button);
            }
        }
        if (buttons.empty()) {
            return say("no button to click");
        }
        QPushButton* button = buttons[act.a % buttons.size()];
        const auto what = say("click " + button->objectName().toStdString() + " '" +
                              button->text().toStdString() + "' on the panel");
        QTest::mouseClick(button, Qt::LeftButton);
        return what;
    }

    const std::vector<Qt::Key>& pageKeys() const {
        if (m_panel->findChild<QWidget*>("metronomePage")->isVisible()) {
            return kMetronomeKeys;
        }
        return m_panel->findChild<QWidget*>("tunerPage")->isVisible() ? kTunerKeys : kTrackKeys;
    }

    std::string switchPage(const Action& act) {
        const auto what = say("switch page");
        activate(*m_panel);
        QTest::keyClick(focusIn(*m_panel), act.a % 2 ? Qt::Key_PageUp : Qt::Key_PageDown,
                        Qt::ControlModifier);
        return what;
    }

    // Typed into a box of the page shown: the box must get every key, and Return must hand the
    // keys back to the page.
    std::string typeInPanelBox(const Action& act) {
        std::vector<QWidget*> boxes;
        for (QWidget* box : m_panel->findChildren<QWidget*>()) {
            const auto* line = qobject_cast<QLineEdit*>(box);
            if (((line && !line->isReadOnly()) || qobject_cast<QSpinBox*>(box)) &&
                box->isVisibleTo(m_panel) && box->isVisible() && box->isEnabled() &&
                !qobject_cast<QSpinBox*>(box->parentWidget())) {
                boxes.push_back(box);
            }
        }
        if (boxes.empty()) {
            return say("no box to type in");
        }
        QWidget* box = boxes[act.a % boxes.size()];
        const auto what = say("type '" + act.text + "' in " + box->objectName().toStdString());
        QTest::mouseClick(box, Qt::LeftButton);
        // A click activates the window under a window manager; the offscreen platform is told.
        if (!activate(*m_panel)) {
            return say("the panel would not take the keys");
        }
        box->setFocus(Qt::MouseFocusReason);
        QTest::keyClick(focusIn(*m_panel), Qt::Key_A, Qt::ControlModifier);
        const size_t notesBefore = referenceNotes();
        const QString text = QString::fromStdString(act.text);
        QTest::keyClicks(focusIn(*m_panel), text);
        m_typed = {box, text, notesBefore};
        return what;
    }

    // After typing, the text is the box's; then Return applies it and hands the keys back.
    std::optional<std::string> checkBox() {
        if (!m_typed.box) {
            return std::nullopt;
        }
        auto typed = std::exchange(m_typed, {});
        const QString shown = qobject_cast<QLineEdit*>(typed.box)
                                  ? qobject_cast<QLineEdit*>(typed.box)->text()
                                  : qobject_cast<QSpinBox*>(typed.box)->text();
        const bool spin = qobject_cast<QSpinBox*>(typed.box) != nullptr;
        // A spin box refuses what is not a number in its range as it is typed.
        if (!spin && !typed.text.isEmpty() && shown != typed.text) {
            return "the box shows '" + shown.toStdString() + "' after '" +
                   typed.text.toStdString() + "' was typed";
        }
        if (!m_tuner->tmrLoopSpeed.isActive() && referenceNotes() != typed.notesBefore) {
            return "typing in a box sounded a note";
        }
        QTest::keyClick(focusIn(*m_panel), Qt::Key_Return);
        if (typed.box->hasFocus()) {
            return "Return left the keys in " + typed.box->objectName().toStdString();
        }
        return std::nullopt;
    }

    size_t referenceNotes() const {
        size_t notes = 0;
        for (const auto& sent : m_model.sent) {
            const int status = sent.message & 0xFF;
            notes += status == 0x90 + m_window->voice.channel &&
                     m_window->voice.channel != kClickChannel && (sent.message >> 16) != 0;
        }
        return notes;
    }

    std::string inDialog(frmSetup& setup, const Action& act) {
        activate(setup);
        switch (act.a % 8) {
            case 0: {
                const int device = act.b % std::max(1, setup.cboDevice->count());
                const auto what = say("Setup: device " + std::to_string(device));
                setup.cboDevice->setCurrentIndex(device);
                return what;
            }
            case 1: {
                const int sound = act.b % std::max(1, setup.cboSounds->count());
                const auto what = say("Setup: sound " + std::to_string(sound));
                setup.cboSounds->setCurrentIndex(sound);
                return what;
            }
            case 2: {
                const auto what = say("Setup: channel " + std::to_string(act.b % 16 + 1));
                setup.cboChannel->setCurrentIndex(act.b % 16);
                return what;
            }
            case 3:
                QTest::mouseClick(setup.findChild<QWidget*>("imgOK"), Qt::LeftButton);
                return say("Setup OK");
            case 4:
                say("Setup Cancel");
                QTest::mouseClick(setup.findChild<QWidget*>("imgCancel"), Qt::LeftButton);
                return "Setup Cancel";
            case 5:
                say("Setup Escape");
                QTest::keyClick(&setup, Qt::Key_Escape);
                return "Setup Escape";
            case 6:
                say("Setup Close");
                setup.close();
                return "Setup Close";
            default:
                return wait(act);
        }
    }

    std::string wait(const Action& act) {
        const auto what = say("wait " + std::to_string(20 + act.b % 400) + " ms");
        QTest::qWait(20 + act.b % 400);
        return what;
    }

    // Whenever the built-in synthesizer is open it has the sound chosen on every channel, the
    // metronome's click on its channel among them.
    std::optional<std::string> checkSounds() {
        if (!m_model.synthOpen()) {
            return std::nullopt;
        }
        for (int channel = 0; channel < 16; ++channel) {
            if (m_model.chosen[channel] != m_model.synth[channel]) {
                return "the synthesizer lost the sound of channel " + std::to_string(channel + 1);
            }
        }
        if (m_model.synth[kClickChannel] != kClickProgram &&
            m_window->voice.channel != kClickChannel) {
            return "the click channel does not have the click";
        }
        return std::nullopt;
    }

    // SUSTAIN off gives the channel back the instrument it had before, unless Setup was opened.
    void sustained(bool on) {
        const int16_t channel = m_window->voice.channel;
        if (channel < 0 || channel > 15) {
            return;
        }
        if (on) {
            m_beforeSustain = m_chosenAtStep[channel];
        } else if (m_beforeSustain && m_model.chosen[channel] != m_beforeSustain) {
            m_model.faults.push_back("SUSTAIN off brought back program " +
                                     std::to_string(m_model.chosen[channel].value_or(-1)) +
                                     ", not " + std::to_string(*m_beforeSustain));
        } else {
            m_beforeSustain.reset();
        }
    }

    // During a wait: clicks only while the metronome runs, on its grid; notes only while the loop
    // runs; and both keep coming.
    std::optional<std::string> checkTicks(const Before& before, size_t from) {
        std::vector<Clock::time_point> clicks;
        size_t loopNotes = 0;
        for (size_t i = from; i < m_model.sent.size(); ++i) {
            const uint32_t message = m_model.sent[i].message;
            if ((message >> 16) == 0) {
                continue;
            }
            if ((message & 0xFF) == 0x90u + kClickChannel) {
                clicks.push_back(m_model.sent[i].due);
            } else if ((message & 0xFF) == 0x90u + m_window->voice.channel) {
                ++loopNotes;
            }
        }
        if (before.calibrating || coachCalibrating()) {
            return std::nullopt;  // the coach's calibration clicks on a grid of its own
        }
        const bool running = before.metronome && m_metronome->isRunning();
        if (!before.metronome && !m_metronome->isRunning() && !clicks.empty()) {
            return "the stopped metronome clicked";
        }
        if (!before.loop && !m_tuner->tmrLoopSpeed.isActive() && loopNotes > 0 &&
            m_window->voice.channel != kClickChannel) {
            return "the stopped loop sounded";
        }
        for (size_t i = 1; i < clicks.size(); ++i) {
            const auto apart =
                std::chrono::duration_cast<std::chrono::milliseconds>(clicks[i] - clicks[i - 1]);
            if (apart.count() <= 0) {
                return "two clicks at once or out of order";
            }
            if (running && !trainerOn() && apart.count() % before.interval != 0) {
                return "clicks " + std::to_string(apart.count()) + " ms apart at " +
                       std::to_string(before.interval) + " ms a beat";
            }
        }
        return std::nullopt;
    }

    bool coachCalibrating() const {
        const auto* status = m_window->findChild<QLabel*>("coachStatus");
        return status != nullptr && status->text().startsWith("CALIBRATING");
    }

    bool trainerOn() const {
        return m_window->findChild<QObject*>("trainerTimer")->property("active").toBool();
    }

    std::string settingsBytes() const {
        std::ifstream in(m_dir.path() / "rz77.rz", std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    struct Typed {
        QWidget* box = nullptr;
        QString text;
        size_t notesBefore = 0;
    };

    bool m_verbose;
    TempDir m_dir;
    DeviceModel m_model;
    KeptSynthSounds m_kept{m_model};
    RecordingReporter m_reporter;
    MidiOutput m_output{m_kept, m_reporter};
    AudioEngine m_engine;
    std::unique_ptr<frmMain> m_window;
    Tuner* m_tuner;
    Metronome* m_metronome;
    PracticePanel* m_panel;
    Typed m_typed;
    std::optional<int> m_beforeSustain;
    std::array<std::optional<int>, 16> m_chosenAtStep{};
};

// Runs the actions in a child process: 0 when every invariant held, 1 for a broken one; a signal
// for a crash; -1 for a hang.
int runChild(const std::vector<Action>& actions, const std::string& track, bool verbose) {
    std::cout << std::flush;
    const pid_t child = fork();
    if (child == 0) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("QT_LOGGING_RULES", "qt.qpa.*=false", 1);
        int argc = 1;
        char name[] = "hands";
        char* argv[] = {name, nullptr};
        QApplication app(argc, argv);
        int result = 0;
        {
            Hands hands(track, verbose);
            for (size_t i = 0; i < actions.size() && result == 0; ++i) {
                if (const auto fault = hands.step(actions[i])) {
                    std::cout << "  step " << i + 1 << ": " << *fault << "\n" << std::flush;
                    result = 1;
                }
            }
        }
        _exit(result);
    }
    const auto deadline = Clock::now() + 30s + actions.size() * 1s;
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(20ms);
    }
    return WIFSIGNALED(status) ? WTERMSIG(status) + 1000 : WEXITSTATUS(status);
}

// Leaves out ever smaller runs of steps while the sequence still fails.
std::vector<Action> shortestFailing(std::vector<Action> actions, const std::string& track) {
    const auto deadline = Clock::now() + 4min;
    for (size_t chunk = actions.size() / 2; chunk >= 1 && Clock::now() < deadline; chunk /= 2) {
        for (size_t at = 0; at + chunk <= actions.size() && Clock::now() < deadline;) {
            std::vector<Action> fewer(actions.begin(), actions.begin() + at);
            fewer.insert(fewer.end(), actions.begin() + at + chunk, actions.end());
            if (runChild(fewer, track, false) != 0) {
                actions = std::move(fewer);
            } else {
                at += chunk;
            }
        }
    }
    return actions;
}

std::pair<unsigned, unsigned> seedRange() {
    const char* text = std::getenv("RZ77_HANDS_SEEDS");
    unsigned first = 1, last = 8;
    if (text != nullptr) {
        std::sscanf(text, "%u-%u", &first, &last);
        last = std::max(first, last);
    }
    return {first, last};
}

TEST(UserHands, LongRandomSessionsBreakNothing) {
    TempDir dir;
    const std::string track = (dir.path() / "tone.mp3").string();
    ASSERT_TRUE(makeToneMp3(track, {{1.5, 440}, {1.5, 330}}));
    const char* stepsText = std::getenv("RZ77_HANDS_STEPS");
    const int steps = stepsText != nullptr ? std::atoi(stepsText) : 250;
    const auto [first, last] = seedRange();
    for (unsigned seed = first; seed <= last; ++seed) {
        const auto actions = actionsFor(seed, steps);
        const int result = runChild(actions, track, false);
        if (result == 0) {
            continue;
        }
        const auto shortest = shortestFailing(actions, track);
        std::cout << "seed " << seed << " failed (" << result << "); " << shortest.size()
                  << " steps that still fail:\n";
        const int again = runChild(shortest, track, true);
        ADD_FAILURE() << "seed " << seed << ": exit " << result << ", shortest sequence exit "
                      << again;
    }
}

}  // namespace
