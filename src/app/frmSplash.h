#pragma once

#include <QSvgRenderer>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "app/AppEnvironment.h"

// The start-up picture; after three seconds it gives way to the main window.
class frmSplash : public QWidget {
    Q_OBJECT
public:
    // Builds the loaded main window with its tools.
    using MainWindowFactory = std::function<QWidget*(const AppEnvironment&)>;

    frmSplash(AppEnvironment environment, MainWindowFactory createMainWindow);

    void Form_Load();
    void tmrSplash_Timer();

    QTimer tmrSplash;

signals:
    // The main window has been shown; it ends the program when it goes.
    void mainWindowShown(QWidget* mainWindow);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    AppEnvironment m_environment;
    MainWindowFactory m_createMainWindow;
    QSvgRenderer m_picture;
};
