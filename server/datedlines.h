#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace server {

// The header lines of an answer that change only with the second and the
// settings: "Server", "Date" and "Expires" (the date plus some days). Every
// answer of a second shares them instead of formatting its dates anew.
class DatedLines final {
public:
    // Brings the lines to now's second and the given settings; cheap when nothing changed.
    const DatedLines& refresh(const QDateTime& now, const QString& serverVersion,
                              double expiresDays);

    const QByteArray& server() const { return m_server; }
    const QByteArray& date() const { return m_date; }
    const QByteArray& expires() const { return m_expires; }
    // Changes with every refresh that changed the lines: what was built from them is stale.
    quint64 generation() const { return m_generation; }

private:
    qint64 m_second = -1;
    QString m_serverVersion;
    double m_expiresDays = 0;
    quint64 m_generation = 0;
    QByteArray m_server;  // "Server: ..." line
    QByteArray m_date;    // "Date: ..." line
    QByteArray m_expires; // "Expires: ..." line
};

} // namespace server
