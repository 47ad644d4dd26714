#pragma once

#include <QMainWindow>
#include <QSize>
#include <QTimer>

class QAction;
class QLabel;
class QLineEdit;

namespace core {
class CoreFace;
}

namespace ui {

class LinkLabel;
class TraceLogWindow;

// The main window (frmMain): the server's status, request counter and debug mode, the links
// and the menus. It shows the core's window state and calls the core's procedures; changes
// of the state are shown on a short timer, so a busy server costs no repaint per request.
class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(core::CoreFace& core, TraceLogWindow& traceLog, QWidget* parent = nullptr);

    // Sets every caption that has a label id from the loaded language (once, at start-up).
    void applyTranslations();
    // The core's window state changed: a new status text is shown at once, anything else
    // with the next refresh.
    void scheduleRefresh();
    // Shows the window state now.
    void refresh();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    QAction* addEntry(QMenu* menu, const char* name, const char* text, const char* labelId);
    void fixSize();
    void showSettingsOrRestarting();
    void showAbout();

    core::CoreFace& m_core;
    TraceLogWindow& m_traceLog;
    QLineEdit* txtServerStatus = nullptr;
    QLineEdit* txtDebugMode = nullptr;
    QLineEdit* txtRequests = nullptr;
    LinkLabel* lblClientLink = nullptr;
    LinkLabel* lblAdminLink = nullptr;
    QLabel* lblProductName = nullptr;
    QLabel* lblVersion = nullptr;
    QSize m_designSize;
    QTimer m_refresh;
};

} // namespace ui
