#include "common/insidefiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>

namespace common {

namespace {
constexpr qint64 KEPT_FILE_BYTES = 256 * 1024; // larger files are read each time
constexpr qint64 KEPT_BUDGET_BYTES = 8 * 1024 * 1024;

bool statFile(const QString& path, struct stat& st) {
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}
} // namespace

std::optional<QByteArray> InsideFiles::read(const QString& folder, const QString& name) {
    if (folder.isEmpty())
        return std::nullopt;
    const QString path = QDir(folder).filePath(name);
    struct stat st {};
    if (!statFile(path, st)) {
        forget(path);
        return std::nullopt;
    }
    if (std::optional<QByteArray> kept = keptBytes(path, st))
        return kept;

    const QString canonicalFolder = QFileInfo(folder).canonicalFilePath();
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonicalFolder.isEmpty() || !canonical.startsWith(canonicalFolder + QLatin1Char('/')) ||
        !QFileInfo(canonical).isFile())
        return std::nullopt;
    QFile file(canonical);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.readAll();
    // Kept only as the file that was checked and read: the name looked at
    // first must have led to it, unchanged since.
    struct stat opened {};
    if (::fstat(file.handle(), &opened) == 0 && FileStamp::of(opened) == FileStamp::of(st) &&
        bytes.size() == st.st_size && bytes.size() <= KEPT_FILE_BYTES)
        keep(path, Kept{FileStamp::of(st), bytes});
    return bytes;
}

void InsideFiles::clear() {
    const std::lock_guard lock(m_lock);
    m_kept.clear();
    m_keptBytes = 0;
}

std::optional<QByteArray> InsideFiles::keptBytes(const QString& path, const struct stat& st) {
    const std::lock_guard lock(m_lock);
    const auto kept = m_kept.constFind(path);
    if (kept != m_kept.constEnd() && kept->stamp == FileStamp::of(st))
        return kept->bytes;
    return std::nullopt;
}

void InsideFiles::forget(const QString& path) {
    const std::lock_guard lock(m_lock);
    const auto gone = m_kept.constFind(path);
    if (gone != m_kept.constEnd()) {
        m_keptBytes -= gone->bytes.size();
        m_kept.erase(gone);
    }
}

void InsideFiles::keep(const QString& path, Kept kept) {
    const std::lock_guard lock(m_lock);
    const auto old = m_kept.constFind(path);
    if (old != m_kept.constEnd())
        m_keptBytes -= old->bytes.size();
    if (m_keptBytes + kept.bytes.size() > KEPT_BUDGET_BYTES) {
        m_kept.clear();
        m_keptBytes = 0;
    }
    m_keptBytes += kept.bytes.size();
    m_kept.insert(path, std::move(kept));
}

} // namespace common
