#include "recordeddiagnostics.h"

#include "diagnostics/log.h"
#include "diagnostics/trace.h"

#include <QFile>

namespace support {

int RecordingInterface::messageBox(const QString& text, int style, const QString& title) {
    shown.append(QString::number(style) + QLatin1Char('|') + text);
    titles.append(title);
    return answer;
}

RecordedDiagnostics::RecordedDiagnostics(const QString& logFolder, bool interactive) {
    auto& d = diagnostics::Diagnostics::instance();
    d.reset();
    d.setInteractive(interactive);
    d.setUserInterface(&ui);
    diagnostics::OpenLog(logFolder);
    d.setTraceSink([this](const QString& text, const QString& time) {
        traces.append(text);
        traceTimes.append(time);
    });
}

RecordedDiagnostics::~RecordedDiagnostics() {
    diagnostics::Diagnostics::instance().reset();
}

QString RecordedDiagnostics::logText() const {
    diagnostics::Log* log = diagnostics::Diagnostics::instance().log();
    QFile f(log ? log->LogFilePath() : QString());
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
}

int RecordedDiagnostics::tracesStartingWith(const QString& start) const {
    int n = 0;
    for (const QString& t : traces)
        n += t.startsWith(start) ? 1 : 0;
    return n;
}

} // namespace support
