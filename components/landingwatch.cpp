#include "components/landingwatch.h"

#include "common/errnotext.h"
#include "common/error.h"

#include <QFile>
#include <QHash>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <sys/inotify.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace components {

// The process's one inotify instance and the thread that reads it. Closing an instance
// costs the kernel a grace period (around 10 ms), so it is never closed; a removed folder
// drops its watch by itself, and the next wait on it adds it again.
class Landings final {
public:
    static Landings& instance() {
        static Landings* landings = new Landings; // lives as long as its detached reader
        return *landings;
    }

    void add(LandingWait& wait) {
        const std::lock_guard lock(m_lock);
        watchFolder(wait.m_folder);
        m_waits.push_back(&wait);
    }

    void remove(LandingWait& wait) {
        const std::lock_guard lock(m_lock);
        std::erase(m_waits, &wait);
    }

    bool wait(LandingWait& wait, const QDeadlineTimer& deadline) {
        std::unique_lock lock(m_lock);
        const auto landed = [&] { return wait.m_landed; };
        if (deadline.isForever())
            m_wake.wait(lock, landed);
        else if (!m_wake.wait_until(lock, deadline.deadline<std::chrono::steady_clock>(), landed))
            return false;
        wait.m_landed = false;
        return true;
    }

private:
    Landings() : m_fd(::inotify_init1(IN_CLOEXEC)) {
        if (m_fd >= 0)
            std::thread([this] { read(); }).detach();
    }

    // Under m_lock.
    void watchFolder(const QString& folder) {
        if (m_watched.contains(folder))
            return;
        // A message lands by rename; a writer that does not rename is complete on close.
        const int wd = m_fd < 0 ? -1
                                : ::inotify_add_watch(m_fd, QFile::encodeName(folder).constData(),
                                                      IN_MOVED_TO | IN_CLOSE_WRITE | IN_ONLYDIR);
        if (wd < 0) {
            const int code = m_fd < 0 ? EMFILE : errno;
            throw common::Error(code,
                                QStringLiteral("Error watching queue folder (") + folder +
                                    QStringLiteral("). ") + common::ErrnoText(code),
                                QStringLiteral("Halvik.Queue"));
        }
        // Two names of one folder give one watch descriptor: the last name wins there, so
        // both are kept for it.
        m_folders.insert(wd, folder);
        m_watched.insert(folder, wd);
    }

    void read() {
        alignas(inotify_event) char buffer[16 * 1024];
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0) {
                if (n < 0 && errno == EINTR)
                    continue;
                landAll(); // nothing more will be told: every wait looks again
                return;
            }
            const std::lock_guard lock(m_lock);
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                dispatch(*event);
                at += ssize_t(sizeof(inotify_event)) + event->len;
            }
            m_wake.notify_all();
        }
    }

    // Under m_lock.
    void dispatch(const inotify_event& event) {
        if (event.mask & IN_Q_OVERFLOW) {
            for (LandingWait* wait : m_waits)
                wait->m_landed = true;
            return;
        }
        const QList<QString> folders = m_folders.values(event.wd);
        if (event.mask & IN_IGNORED) {
            // The folder went: its waits look again, and find out.
            m_folders.remove(event.wd);
            for (const QString& folder : folders)
                m_watched.remove(folder);
            landIn(folders, {});
            return;
        }
        landIn(folders, event.len > 0 ? QFile::decodeName(event.name) : QString());
    }

    void landIn(const QList<QString>& folders, const QString& name) {
        for (LandingWait* wait : m_waits)
            if (folders.contains(wait->m_folder) &&
                (name.isEmpty() || wait->m_name.isEmpty() || wait->m_name == name))
                wait->m_landed = true;
    }

    void landAll() {
        const std::lock_guard lock(m_lock);
        for (LandingWait* wait : m_waits)
            wait->m_landed = true;
        m_wake.notify_all();
    }

    const int m_fd;
    std::mutex m_lock; // the members below and every wait's m_landed
    std::condition_variable m_wake;
    std::vector<LandingWait*> m_waits;
    QMultiHash<int, QString> m_folders; // watch descriptor -> folder names
    QHash<QString, int> m_watched;      // folder name -> watch descriptor
};

LandingWait::LandingWait(const QString& folder, const QString& name)
    : m_folder(folder), m_name(name) {
    Landings::instance().add(*this);
}

LandingWait::~LandingWait() {
    Landings::instance().remove(*this);
}

bool LandingWait::wait(const QDeadlineTimer& deadline) {
    return Landings::instance().wait(*this, deadline);
}

} // namespace components
