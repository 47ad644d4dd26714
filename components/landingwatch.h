#pragma once

#include <QDeadlineTimer>
#include <QString>

namespace components {

// Tells waiting threads that a message file has landed in a queue folder. One inotify
// instance and one thread for the whole process read every landing and wake only the
// waits it concerns, so any number of threads can wait at once and none takes another's
// news. Any thread may wait.
class LandingWait final {
public:
    // Starts watching folder for name ("" for any file) before the caller looks for it, so
    // a file landing in between still ends the wait. Raises common::Error when the folder
    // cannot be watched.
    LandingWait(const QString& folder, const QString& name);
    ~LandingWait();
    LandingWait(const LandingWait&) = delete;
    LandingWait& operator=(const LandingWait&) = delete;

    // Waits until the file may have landed since the last wait (or the construction), or the
    // deadline passes. True when it may have: the caller looks again. A lost event (the
    // kernel's queue overflowed) or the folder's removal counts as a landing.
    bool wait(const QDeadlineTimer& deadline);

private:
    friend class Landings;
    QString m_folder;
    QString m_name;
    bool m_landed = false; // under the watcher's lock
};

} // namespace components
