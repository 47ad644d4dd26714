#pragma once

// The program-wide diagnostics, pointed at a test: what would have been shown to a user,
// the trace rows, and a log in a folder of the test's own.

#include "common/userinterface.h"

#include <QString>
#include <QStringList>

namespace support {

// Records every message box as "style|text" (titles apart) and answers as told.
class RecordingInterface final : public common::UserInterface {
public:
    int messageBox(const QString& text, int style, const QString& title) override;
    bool showSettingsDialog() override {
        ++settingsShown;
        return false;
    }
    bool openUrl(const QString&) override { return false; }

    QStringList shown;
    QStringList titles;
    int answer = common::ANSWER_YES;
    int settingsShown = 0; // times the settings dialog was asked for
};

// Resets the diagnostics, opens the log under logFolder, and records what the user would
// see and the trace rows; resets the diagnostics again at the end.
class RecordedDiagnostics final {
public:
    explicit RecordedDiagnostics(const QString& logFolder, bool interactive = true);
    ~RecordedDiagnostics();
    RecordedDiagnostics(const RecordedDiagnostics&) = delete;
    RecordedDiagnostics& operator=(const RecordedDiagnostics&) = delete;

    // The log file's text.
    QString logText() const;
    // How many trace rows begin with start.
    int tracesStartingWith(const QString& start) const;

    RecordingInterface ui;
    QStringList traces;     // the text of each trace row
    QStringList traceTimes; // its time text ("15 ms", or "")
};

} // namespace support
