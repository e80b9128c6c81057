#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include "MainWindowFixture.h"
#include "common/ClickProgram.h"
#include "setup/SetupButton.h"
#include "setup/SkinComboBox.h"
#include "setup/frmSetup.h"

namespace {

using Bytes = std::vector<std::vector<int>>;
using Calls = std::vector<std::string>;

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class SetupDialogTest : public MainWindowFixture {
protected:
    // Opens the dialog through the SETUP key and forgets what the window's load sent.
    frmSetup& open(frmMain& w) {
        if (w.findChild<SetupButton*>() == nullptr) {
            new SetupButton(w, output, w.voice, reporter);
        }
        takeSent();
        midi.calls.clear();
        QTest::mouseClick(w.findChild<QWidget*>("imgSetup"), Qt::LeftButton);
        frmSetup* dialog = w.findChild<frmSetup*>();
        EXPECT_NE(dialog, nullptr);
        return *dialog;
    }

    static bool destroyed(QPointer<frmSetup>& dialog) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return dialog.isNull();
    }

    std::string settingsFile() const { return dir.str() + "/rz77.rz"; }
};

TEST_F(SetupDialogTest, OpeningPresetsTheListsReopensTheFirstDeviceAndSendsTheSound) {
    writeSettings(4, 1, 30);
    frmMain& w = load();
    frmSetup& dialog = open(w);

    EXPECT_EQ(midi.calls, (Calls{"close 1", "open -1"}));
    EXPECT_EQ(takeSent(), (Bytes{{0xB0, 0, 0, 0}, {0xC0, 30, 0, 0}}));
    EXPECT_EQ(dialog.cboChannel->currentText(), "4");
    EXPECT_EQ(dialog.cboSounds->currentText(), "Distortion Guitar");
    ASSERT_EQ(dialog.cboDevice->count(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(dialog.cboDevice->itemText(i), QString("Device %1").arg(i - 1));
        EXPECT_EQ(dialog.cboDevice->itemData(i).toInt(), i - 1);
    }
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.windowModality(), Qt::ApplicationModal);
    EXPECT_TRUE(dialog.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(dialog.parentWidget(), &w);
    EXPECT_EQ(dialog.size(), QSize(319, 121));
    EXPECT_EQ(dialog.mask(), dialog.SetupRegion);
    EXPECT_TRUE(dialog.mask().contains(QPoint(160, 60)));
    EXPECT_FALSE(dialog.mask().contains(QPoint(11, 11)));
    EXPECT_EQ(w.state.Device, 1);
    EXPECT_EQ(w.state.Sound, 30);
}

TEST_F(SetupDialogTest, LoadingFillsTheListsSelectsNothingAndSendsNothing) {
    struct Case {
        const char* list;  // nullptr: no instrument list file
        int count;
        QString third;
    };
    const Case cases[] = {{"Piano\r\n\r\nFlute\r\n", 3, "Flute"},
                          {nullptr, 128, "Electric Grand Piano"}};
    frmMain& w = load();
    for (const Case& c : cases) {
        std::filesystem::remove(dir.path() / "genmidi.rz");
        if (c.list != nullptr) {
            dir.write("genmidi.rz", c.list);
        }
        midi.calls.clear();
        frmSetup dialog(w, output, w.voice, reporter);
        EXPECT_TRUE(midi.calls.empty());
        ASSERT_EQ(dialog.cboSounds->count(), c.count);
        EXPECT_EQ(dialog.cboSounds->itemText(2), c.third);
        EXPECT_EQ(dialog.cboSounds->itemText(1), c.list ? "" : "Bright Acoustic Piano");
        ASSERT_EQ(dialog.cboChannel->count(), 16);
        EXPECT_EQ(dialog.cboChannel->itemText(15), "16");
        for (const SkinComboBox* box : {dialog.cboDevice, dialog.cboSounds, dialog.cboChannel}) {
            EXPECT_EQ(box->currentIndex(), -1);
            EXPECT_EQ(box->ListIndex(), -1);
        }
    }
}

TEST_F(SetupDialogTest, ADeviceChoiceReopensAndASoundChoiceSoundsOnChannelZero) {
    writeSettings(4, -1, 25);
    frmMain& w = load();
    frmSetup& dialog = open(w);
    midi.calls.clear();
    takeSent();
    dialog.cboDevice->setCurrentIndex(2);
    EXPECT_EQ(midi.calls, (Calls{"close 2", "open 1"}));
    dialog.cboSounds->setCurrentIndex(5);
    EXPECT_EQ(takeSent(), (Bytes{{0xB0, 0, 0, 0}, {0xC0, 5, 0, 0}}));
    EXPECT_EQ(w.voice.channel, 3);
}

// The reference voice knows the instrument on its channel at every step, so that SUSTAIN can
// give it back: a typed channel brings the instrument selected there (the start-up one where
// none was), and only a selection on the voice's own channel changes it.
TEST_F(SetupDialogTest, TheVoiceFollowsTheInstrumentOfItsChannel) {
    writeSettings(1, -1, 25);
    frmMain& w = load();
    frmSetup& dialog = open(w);
    const auto type = [&](const char* channel) {
        dialog.cboChannel->lineEdit()->clear();
        QTest::keyClicks(dialog.cboChannel->lineEdit(), channel);
    };
    EXPECT_EQ(w.voice.program, 25);
    type("11");  // the click channel
    EXPECT_EQ(w.voice.program, kClickProgram);
    type("5");
    EXPECT_EQ(w.voice.program, 25);
    dialog.cboSounds->setCurrentIndex(30);  // sounds on channel 0, not the voice's
    EXPECT_EQ(w.voice.program, 25);
    dialog.imgOK_Click();
    EXPECT_EQ(w.voice.channel, 4);
    EXPECT_EQ(w.voice.program, 30);
}

TEST_F(SetupDialogTest, OkAppliesDeviceAndSoundAndStoresAllThreeInAFreshFile) {
    frmMain& w = load();
    frmSetup& dialog = open(w);
    QPointer<frmSetup> alive(&dialog);
    dialog.cboDevice->setCurrentIndex(2);
    dialog.cboSounds->setCurrentIndex(40);
    dialog.cboChannel->setCurrentIndex(4);  // "5", chosen from the list
    midi.calls.clear();
    takeSent();
    QTest::mouseClick(dialog.findChild<QWidget*>("imgOK"), Qt::LeftButton);

    EXPECT_EQ(midi.calls, (Calls{"close 3", "open 1"}));
    EXPECT_EQ(takeSent(), (Bytes{{0xB0, 0, 0, 0}, {0xC0, 40, 0, 0}}));
    EXPECT_EQ(fileBytes(settingsFile()),
              "[device]\r\nid=1\r\n[sound]\r\nid=40\r\n[channel]\r\nid=5\r\n");
    EXPECT_EQ(w.voice.channel, 0);  // a list choice counts from the next start
    EXPECT_EQ(w.state.Device, -1);
    EXPECT_EQ(w.state.Sound, 25);
    EXPECT_TRUE(reporter.shown.empty());
    EXPECT_TRUE(destroyed(alive));
}

TEST_F(SetupDialogTest, CancelAndEscapeCloseWithoutWritingOrUndoing) {
    frmMain& w = load();
    for (bool byEscape : {false, true}) {
        frmSetup& dialog = open(w);
        QPointer<frmSetup> alive(&dialog);
        dialog.cboDevice->setCurrentIndex(1);
        midi.calls.clear();
        if (byEscape) {
            QTest::keyClick(&dialog, Qt::Key_Escape);
        } else {
            QTest::mouseClick(dialog.findChild<QWidget*>("imgCancel"), Qt::LeftButton);
        }
        EXPECT_TRUE(midi.calls.empty());
        EXPECT_NE(output.handle(), 0u);  // the chosen device stays open
        EXPECT_FALSE(std::filesystem::exists(settingsFile()));
        EXPECT_TRUE(destroyed(alive));
    }
}

TEST_F(SetupDialogTest, TypedChannelsTakeEffectAndTextNamingNoChannelKeepsTheOldOne) {
    struct Case {
        const char* typed;
        int16_t channel;
    };
    const Case cases[] = {{"7", 6}, {"16", 15}, {"x", 3}, {"17", 0} /* "1" on the way counts */};
    writeSettings(4, -1, 25);
    frmMain& w = load();
    for (const Case& c : cases) {
        w.voice.channel = 3;
        frmSetup& dialog = open(w);
        dialog.cboChannel->lineEdit()->clear();
        QTest::keyClicks(dialog.cboChannel->lineEdit(), c.typed);
        EXPECT_EQ(w.voice.channel, c.channel) << c.typed;
        dialog.imgCancel_Click();
    }
}

TEST_F(SetupDialogTest, OkWithNoDeviceOrProgramSendsNothingAndKeepsTheStoredDevice) {
    writeSettings(1, 0, 25);
    frmMain& w = load();
    frmSetup& dialog = open(w);
    QTest::keyClicks(dialog.cboDevice->lineEdit(), "nowhere");
    dialog.cboSounds->lineEdit()->clear();
    midi.calls.clear();
    takeSent();
    dialog.imgOK_Click();
    EXPECT_TRUE(midi.calls.empty());
    EXPECT_TRUE(takeSent().empty());
    EXPECT_EQ(fileBytes(settingsFile()),
              "[device]\r\nid=0\r\n[sound]\r\nid=-1\r\n[channel]\r\nid=1\r\n");
}

TEST_F(SetupDialogTest, OkAndCancelDuringOksWritesAreIgnored) {
    frmMain& w = load();
    frmSetup& dialog = open(w);
    QPointer<frmSetup> alive(&dialog);
    int nested = 0;
    QTimer::singleShot(0, &dialog, [&] {
        ++nested;
        dialog.imgOK_Click();
        dialog.imgCancel_Click();
        dialog.close();
    });
    midi.calls.clear();
    dialog.imgOK_Click();
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(midi.calls.size(), 2u);
    EXPECT_EQ(fileBytes(settingsFile()),
              "[device]\r\nid=-1\r\n[sound]\r\nid=25\r\n[channel]\r\nid=1\r\n");
    EXPECT_TRUE(destroyed(alive));
}

TEST_F(SetupDialogTest, AFailedWriteShowsOneBoxAndTheDialogStaysOpen) {
    // A program folder and a configuration folder inside a file: nothing can be written there.
    const std::string file = dir.write("not-a-folder", "");
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    const std::string savedConfigHome = configHome != nullptr ? configHome : "";
    setenv("XDG_CONFIG_HOME", (file + "/config").c_str(), 1);
    window = std::make_unique<frmMain>(AppEnvironment{file, {}}, output);
    frmSetup& dialog = open(*window);
    dialog.imgOK_Click();
    ASSERT_EQ(reporter.shown.size(), 1u);
    EXPECT_EQ(reporter.shown[0].rfind("The settings could not be saved: ", 0), 0u)
        << reporter.shown[0];
    EXPECT_TRUE(dialog.isVisible());
    if (configHome != nullptr) {
        setenv("XDG_CONFIG_HOME", savedConfigHome.c_str(), 1);
    } else {
        unsetenv("XDG_CONFIG_HOME");
    }
}

TEST_F(SetupDialogTest, PressOnTheBodyMovesTheDialogButPressOnAListDoesNot) {
    frmMain& w = load();
    frmSetup& dialog = open(w);
    dialog.move(100, 100);
    QTest::mousePress(dialog.cboChannel, Qt::LeftButton, {}, QPoint(3, 3));
    QTest::mouseRelease(dialog.cboChannel, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(dialog.pos(), QPoint(100, 100));

    QTest::mousePress(&dialog, Qt::LeftButton, {}, QPoint(60, 30));
    QMouseEvent drag(QEvent::MouseMove, QPointF(80, 60), dialog.mapToGlobal(QPointF(80, 60)),
                     Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(&dialog, &drag);
    QTest::mouseRelease(&dialog, Qt::LeftButton, {}, QPoint(80, 60));
    EXPECT_EQ(dialog.pos(), QPoint(120, 130));
}

}  // namespace
