#pragma once

#include "diagnostics/localclock.h"
#include "diagnostics/recenttrace.h"
#include "diagnostics/severity.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace common {
class UserInterface;
}

namespace diagnostics {

class Log;

// A duration that shows no time in the trace.
inline constexpr double NO_DURATION = -1;

// The program-wide diagnostics state, in one place: the log, whether the run
// is interactive, the user interface for message boxes, the trace-log window's
// sink and the way to close the server.
// Entries come from any thread (the event loop and the page workers): each is
// written whole under one lock, so lines never interleave and the log, the recent
// entries and the sink see them in the same order. The setters belong to the
// event loop's thread, before or between runs of the workers.
class Diagnostics final {
public:
    using TraceSink = std::function<void(const QString& text, const QString& timeText)>;

    static Diagnostics& instance();

    Log* log() const { return m_log.get(); }
    void setLog(std::unique_ptr<Log> log);

    // True unless the program was started hidden.
    bool interactive() const { return m_interactive; }
    void setInteractive(bool interactive) { m_interactive = interactive; }

    // Not owned; null means nobody can be asked.
    common::UserInterface* userInterface() const { return m_userInterface; }
    void setUserInterface(common::UserInterface* ui) { m_userInterface = ui; }

    // Receives every trace entry after it was logged (the trace-log window), always on
    // the event loop's thread: entries of other threads reach it as soon as the loop runs.
    void setTraceSink(TraceSink sink);

    // The language code of the run, which an error 1100 names (AppErrorHandler).
    const QString& languageCode() const { return m_languageCode; }
    void setLanguageCode(const QString& code) { m_languageCode = code; }

    // Unloads the main window, which shuts the program down in order.
    void setCloseServer(std::function<void()> closeServer) {
        m_closeServer = std::move(closeServer);
    }
    void closeServer() const;

    // The most recent entries, whether or not a window shows them: "hh:mm:ss.zzz text",
    // oldest first.
    QStringList recentEntries() const;

    // Writes one entry: line to the log and the recent entries, text and timeText to the
    // sink. Raises common::Error when no log is open or the line cannot be written.
    void writeEntry(int severity, const QString& line, const QString& text,
                    const QString& timeText);

    // Back to the state at program start (for tests).
    void reset();

private:
    struct SinkEntry {
        QString text;
        QString timeText;
    };

    Diagnostics();
    ~Diagnostics();
    // Hands the entries waiting for the sink to it, on the event loop's thread.
    void deliverToSink();

    std::unique_ptr<Log> m_log;
    bool m_interactive = true;
    common::UserInterface* m_userInterface = nullptr;
    QString m_languageCode;
    std::function<void()> m_closeServer;

    mutable std::mutex m_entryLock; // the members below
    TraceSink m_traceSink;
    RecentTrace m_recentTrace;
    LocalClock m_localClock;
    std::vector<SinkEntry> m_forSink;          // written, not yet handed to the sink
    std::atomic<bool> m_deliveryPosted{false}; // a delivery waits in the event loop
};

// "15 ms" for 0.0156 (whole milliseconds, rounded down); "" for NO_DURATION
// and for values that are not finite.
QString DurationText(double duration);

// One trace entry: a log line "text (15 ms)" and, to the trace sink, the text
// and the time text apart. Never raises: tracing is no reason for any work to
// fail. An entry that cannot be written (no log open, a full disk) is lost, and
// the sink gets nothing for it; the log counts what it lost and names the count
// once it can write again.
void WriteTrace(const QString& text, double duration = NO_DURATION,
                Severity severity = Severity::Info) noexcept;
// The same without a duration.
void WriteTrace(const QString& text, Severity severity) noexcept;

// As WriteTrace, for the rare caller that must learn of a failed write: raises
// common::Error when no log is open or the line cannot be written (the sink then
// gets nothing).
void WriteTraceOrRaise(const QString& text, double duration = NO_DURATION,
                       Severity severity = Severity::Info);

// Traces text; shows it in a message box only when the run is interactive and
// a user interface is set. Returns the answer (common::ANSWER_*), or
// common::ANSWER_NONE when nothing was shown: callers asking a question must
// take that as a refusal.
int NotifyUser(const QString& text, int style);

// Last resort for an error escaping an event handler: traces its description
// (severity 2) and closes the server. An error 1100 (a language file) is traced
// after a sentence naming the run's language code. source is not used. Never raises.
void AppErrorHandler(const QString& source, int number, const QString& description);

} // namespace diagnostics
