#include "ui/desktop.h"

#include "core/coreface.h"
#include "core/settingsform.h"
#include "core/tracefeed.h"
#include "ui/browser.h"
#include "ui/mainwindow.h"
#include "ui/messagebox.h"
#include "ui/settingsdialog.h"
#include "ui/tracelogwindow.h"

#include <QApplication>
#include <QDialog>

namespace ui {

Desktop::Desktop() = default;

// The core may already be gone: only what is ours is let go.
Desktop::~Desktop() = default;

void Desktop::attach(core::CoreFace& core) {
    m_core = &core;
    m_traceLog =
        std::make_unique<TraceLogWindow>([&core] { core.ShowHelp(QStringLiteral("tracelog")); });
    m_mainWindow = std::make_unique<MainWindow>(core, *m_traceLog);
    TraceLogWindow* traceLog = m_traceLog.get();
    m_traceFeed =
        std::make_unique<core::TraceFeed>([traceLog](const QString& text, const QString& timeText) {
            traceLog->AddEntry(text, timeText);
        });
    MainWindow* window = m_mainWindow.get();
    QObject::connect(&core, &core::CoreFace::stateChanged, window, &MainWindow::scheduleRefresh);
    QObject::connect(&core, &core::CoreFace::translationsLoaded, window,
                     &MainWindow::applyTranslations);
    // The end of the run unloads the trace log (its column widths are kept) and the window.
    QObject::connect(&core, &core::CoreFace::finished, window, [traceLog, window] {
        traceLog->unload();
        window->hide();
    });
    window->show();
}

int Desktop::messageBox(const QString& text, int style, const QString& title) {
    if (m_ending)
        return common::ANSWER_NONE;
    QWidget* parent = QApplication::activeModalWidget();
    if (!parent && m_mainWindow && m_mainWindow->isVisible())
        parent = m_mainWindow.get();
    return ShowMessageBox(parent, text, style, title);
}

bool Desktop::showSettingsDialog() {
    if (!m_core || m_ending)
        return false;
    core::SettingsForm form(*m_core);
    core::CoreFace* core = m_core;
    SettingsDialog dialog(
        form, [core](const QString& context) { core->ShowHelp(context); }, m_mainWindow.get());
    dialog.exec();
    return true;
}

bool Desktop::openUrl(const QString& url) {
    return !m_ending && OpenInBrowser(url);
}

void Desktop::endModalWindows() {
    m_ending = true;
    // Innermost first. A rejected dialog leaves its exec() as soon as control is back in its
    // loop; one that is no dialog is hidden, so that it no longer counts as modal.
    while (QWidget* modal = QApplication::activeModalWidget()) {
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        } else {
            modal->close();
            modal->hide();
        }
    }
}

} // namespace ui
