#include "server/datedlines.h"

#include "common/codepage.h"
#include "common/webdate.h"
#include "server/responses.h"

#include <cstring>

namespace server {

const DatedLines& DatedLines::refresh(const QDateTime& now, const QString& serverVersion,
                                      double expiresDays) {
    const qint64 second = now.toSecsSinceEpoch();
    // Compared bit for bit, so that a NaN setting does not refresh every time.
    if (second == m_second && serverVersion == m_serverVersion &&
        std::memcmp(&expiresDays, &m_expiresDays, sizeof expiresDays) == 0)
        return *this;
    m_second = second;
    m_serverVersion = serverVersion;
    m_expiresDays = expiresDays;
    ++m_generation;
    m_server = common::ToCodePage(serverVersion);
    m_date = common::FormatWebDate(now, true).toLatin1();
    m_expires = common::FormatWebDate(AddDays(now, expiresDays), true).toLatin1();
    return *this;
}

} // namespace server
