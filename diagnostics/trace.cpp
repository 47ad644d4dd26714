#include "diagnostics/trace.h"

#include "common/error.h"
#include "common/userinterface.h"
#include "common/version.h"
#include "diagnostics/log.h"

#include <QCoreApplication>
#include <QThread>
#include <cmath>
#include <cstdio>

namespace diagnostics {

namespace {
// Without an application object there is no loop to hand over to, and no other thread.
bool onLoopThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}
} // namespace

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
    m_closeServer = nullptr;
    const std::lock_guard lock(m_entryLock);
    m_traceSink = nullptr;
    m_recentTrace.clear();
    m_forSink.clear();
}

void Diagnostics::setTraceSink(TraceSink sink) {
    const std::lock_guard lock(m_entryLock);
    m_traceSink = std::move(sink);
    m_forSink.clear(); // meant for the sink before: its receiver may be gone
}

QStringList Diagnostics::recentEntries() const {
    const std::lock_guard lock(m_entryLock);
    return m_recentTrace.entries();
}

void Diagnostics::writeEntry(int severity, const QString& line, const QString& text,
                             const QString& timeText) {
    {
        const std::lock_guard lock(m_entryLock);
        if (!m_log)
            throw common::Error(common::ERR_PROGRAM, QStringLiteral("The log file is not open."),
                                QStringLiteral("WriteTrace"));
        m_log->LogEntry(severity, line);
        m_recentTrace.add(line, m_localClock.now().msecsOfDay);
        if (!m_traceSink)
            return;
        m_forSink.push_back({text, timeText});
    }
    if (onLoopThread()) {
        deliverToSink();
    } else if (!m_deliveryPosted.exchange(true)) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [this] {
                m_deliveryPosted = false;
                deliverToSink();
            },
            Qt::QueuedConnection);
    }
}

void Diagnostics::deliverToSink() {
    for (;;) {
        std::vector<SinkEntry> entries;
        TraceSink sink;
        {
            const std::lock_guard lock(m_entryLock);
            entries.swap(m_forSink);
            sink = m_traceSink;
        }
        if (entries.empty() || !sink)
            return;
        // Outside the lock: the sink may itself trace.
        for (const SinkEntry& entry : entries)
            sink(entry.text, entry.timeText);
    }
}

QString DurationText(double duration) {
    // 1e15 ms is some thirty thousand years: beyond that the number is noise.
    if (duration == NO_DURATION || !std::isfinite(duration) || std::fabs(duration) > 1e12)
        return {};
    return QString::number(static_cast<qint64>(std::floor(duration * 1000))) +
           QStringLiteral(" ms");
}

void WriteTraceOrRaise(const QString& text, double duration, Severity severity) {
    const QString timeText = DurationText(duration);
    const QString suffix =
        timeText.isEmpty() ? QString() : QStringLiteral(" (") + timeText + QLatin1Char(')');
    Diagnostics::instance().writeEntry(static_cast<int>(severity), text + suffix, text, timeText);
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
