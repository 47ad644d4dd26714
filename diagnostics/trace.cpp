#include "diagnostics/trace.h"

#include "common/error.h"
#include "common/userinterface.h"
#include "common/version.h"
#include "diagnostics/log.h"

#include <cmath>
#include <cstdio>

namespace diagnostics {

Diagnostics::Diagnostics() = default;
Diagnostics::~Diagnostics() = default;

Diagnostics& Diagnostics::instance() {
    static Diagnostics diagnostics;
    return diagnostics;
}

void Diagnostics::setLog(std::unique_ptr<Log> log) {
    m_log = std::move(log);
}

void Diagnostics::closeServer() const {
    if (m_closeServer)
        m_closeServer();
}

void Diagnostics::reset() {
    m_log.reset();
    m_interactive = true;
    m_userInterface = nullptr;
    m_languageCode.clear();
    m_traceSink = nullptr;
    m_closeServer = nullptr;
    m_recentTrace.clear();
}

QString DurationText(double duration) {
    // 1e15 ms is some thirty thousand years: beyond that the number is noise.
    if (duration == NO_DURATION || !std::isfinite(duration) || std::fabs(duration) > 1e12)
        return {};
    return QString::number(static_cast<qint64>(std::floor(duration * 1000))) +
           QStringLiteral(" ms");
}

void WriteTraceOrRaise(const QString& text, double duration, Severity severity) {
    Diagnostics& d = Diagnostics::instance();
    if (!d.log())
        throw common::Error(common::ERR_PROGRAM, QStringLiteral("The log file is not open."),
                            QStringLiteral("WriteTrace"));
    const QString timeText = DurationText(duration);
    const QString suffix =
        timeText.isEmpty() ? QString() : QStringLiteral(" (") + timeText + QLatin1Char(')');
    d.log()->LogEntry(static_cast<int>(severity), text + suffix);
    d.recentTrace().add(text + suffix, d.localClock().now().msecsOfDay);
    if (d.traceSink())
        d.traceSink()(text, timeText);
}

void WriteTrace(const QString& text, double duration, Severity severity) noexcept {
    try {
        WriteTraceOrRaise(text, duration, severity);
    } catch (...) {
        // Counted by the log as lost; nothing else to do here.
    }
}

void WriteTrace(const QString& text, Severity severity) noexcept {
    WriteTrace(text, NO_DURATION, severity);
}

int NotifyUser(const QString& text, int style) {
    WriteTrace(text);
    const Diagnostics& d = Diagnostics::instance();
    if (!d.interactive() || !d.userInterface())
        return common::ANSWER_NONE;
    return d.userInterface()->messageBox(text, style, common::MessageTitle());
}

void AppErrorHandler(const QString&, int number, const QString& description) {
    QString message = description;
    if (number == common::ERR_LANGUAGE)
        message = QStringLiteral("The application was unable to load the translation file for "
                                 "the specified language '") +
                  Diagnostics::instance().languageCode() + QStringLiteral("'.\r\n") + description;
    try {
        WriteTraceOrRaise(message, NO_DURATION, Severity::Error);
    } catch (const common::Error& e) {
        // The log itself failed: say so where somebody may see it, and close
        // all the same rather than let the error escape the event loop.
        std::fprintf(stderr, "%s\n%s\n", qUtf8Printable(message), e.what());
    }
    Diagnostics::instance().closeServer();
}

} // namespace diagnostics
