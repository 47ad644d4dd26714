#include "server/datedlines.h"

#include "common/answerhead.h"
#include "server/responses.h"
#include "server/webdate.h"

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
    m_server = common::AnswerHead::Line("Server", serverVersion);
    m_date = common::AnswerHead::Line("Date", FormatWebDate(now, true));
    m_expires = common::AnswerHead::Line("Expires", FormatWebDate(AddDays(now, expiresDays), true));
    return *this;
}

} // namespace server
