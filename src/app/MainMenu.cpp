#include "app/MainMenu.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QMessageBox>

#include "app/AboutText.h"
#include "app/ShortcutKeys.h"

namespace {

QLabel* plainLabel(const QString& text) {
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    return label;
}

}  // namespace

MainMenu::MainMenu(QWidget& window, const ShortcutKeys& keys)
    : QMenu(&window),
      setupAction(addAction(tr("&Setup…"))),
      // R: P is the MP3 player's PLAY everywhere else.
      practiceAction(addAction(tr("P&ractice…"))),
      minimiseAction(addAction(tr("&Minimise"))),
      shortcutsAction(addAction(tr("&Keyboard shortcuts…"))),
      aboutAction(addAction(tr("&About RZ77"))),
      exitAction(new QAction(tr("&Quit"), this)),
      m_window(window),
      m_keys(keys) {
    setObjectName("mainMenu");
    setupAction->setVisible(false);
    practiceAction->setVisible(false);
    addSeparator();
    exitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    addAction(exitAction);
    // Added to the window too, so that Ctrl+Q works while the menu is closed.
    window.addAction(exitAction);
    connect(shortcutsAction, &QAction::triggered, this, &MainMenu::showShortcuts);
    connect(aboutAction, &QAction::triggered, this, &MainMenu::showAbout);
}

void MainMenu::setSetupHandler(const std::function<void()>& openSetup) {
    connect(setupAction, &QAction::triggered, this, openSetup);
    setupAction->setVisible(true);
}

void MainMenu::setPracticeHandler(const std::function<void()>& togglePanel) {
    connect(practiceAction, &QAction::triggered, this, togglePanel);
    practiceAction->setVisible(true);
}

void MainMenu::setAboutSources(Text soundFontPath, Text openMidiDevice) {
    m_soundFontPath = std::move(soundFontPath);
    m_openMidiDevice = std::move(openMidiDevice);
}

void MainMenu::showShortcuts() {
    QDialog dialog(&m_window);
    dialog.setWindowTitle(tr("Keyboard shortcuts"));
    auto* form = new QFormLayout(&dialog);
    for (const ShortcutKeys::Entry& entry : m_keys.entries()) {
        form->addRow(plainLabel(ShortcutKeys::keyNames(entry.keys)), plainLabel(entry.action));
    }
    form->addRow(plainLabel(exitAction->shortcut().toString(QKeySequence::NativeText)),
                 plainLabel(tr("Quit RZ77")));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    dialog.exec();
}

void MainMenu::showAbout() {
    const AboutDetails details{RZ77_VERSION, m_soundFontPath ? m_soundFontPath() : std::string(),
                               m_openMidiDevice ? m_openMidiDevice() : std::string()};
    QMessageBox box(QMessageBox::Information, tr("About RZ77"),
                    QString::fromStdString(aboutText(details)), QMessageBox::Ok, &m_window);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}
