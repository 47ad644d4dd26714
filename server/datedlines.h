#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace server {

// The header values of an answer that change only with the second and the settings:
// "Server", "Date" and "Expires" (the date plus some days), in the code page. Every answer
// of a second shares them instead of formatting its dates anew.
class DatedLines final {
public:
    // Brings the values to now's second and the given settings; cheap when nothing changed.
    const DatedLines& refresh(const QDateTime& now, const QString& serverVersion,
                              double expiresDays);

    const QByteArray& server() const { return m_server; }
    const QByteArray& date() const { return m_date; }
    const QByteArray& expires() const { return m_expires; }
    // Changes with every refresh that changed the values: what was built from them is stale.
    quint64 generation() const { return m_generation; }

private:
    qint64 m_second = -1;
    QString m_serverVersion;
    double m_expiresDays = 0;
    quint64 m_generation = 0;
    QByteArray m_server;
    QByteArray m_date;
    QByteArray m_expires;
};

} // namespace server
