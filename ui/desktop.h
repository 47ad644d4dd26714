#pragma once

#include "common/userinterface.h"

#include <memory>

namespace core {
class CoreFace;
class TraceFeed;
} // namespace core

namespace ui {

class MainWindow;
class TraceLogWindow;

// The desktop: the windows of a run with a display, and the way the core talks to its user
// there (message boxes, the settings dialog, the browser).
class Desktop final : public common::UserInterface {
public:
    Desktop();
    ~Desktop() override;

    // Makes the windows for core, connects them to it and shows the main window. Once,
    // before the core starts.
    void attach(core::CoreFace& core);

    MainWindow* mainWindow() const { return m_mainWindow.get(); }
    TraceLogWindow* traceLog() const { return m_traceLog.get(); }

    int messageBox(const QString& text, int style, const QString& title) override;
    bool showSettingsDialog() override;
    bool openUrl(const QString& url) override;
    void endModalWindows() override;

private:
    core::CoreFace* m_core = nullptr;
    bool m_ending = false;
    std::unique_ptr<TraceLogWindow> m_traceLog;
    std::unique_ptr<MainWindow> m_mainWindow;
    // After the trace log, so that it stops feeding it before the window goes.
    std::unique_ptr<core::TraceFeed> m_traceFeed;
};

} // namespace ui
