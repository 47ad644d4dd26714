#include "adminhelpers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace webapptest {

Page UsersAction(Browser& browser, const QString& action, const QString& user,
                 const QHash<QString, QString>& fields) {
    const QString token = InputValue(browser.get("page=users").body, "token");
    EXPECT_FALSE(token.isEmpty());
    QString body = "page=users&action=" + Enc(action) + "&user=" + Enc(user) + "&token=" + token;
    for (auto it = fields.cbegin(); it != fields.cend(); ++it)
        body += "&" + Enc(it.key()) + "=" + Enc(it.value());
    return browser.post(body);
}

Page Follow(Browser& browser, const Page& redirect) {
    EXPECT_FALSE(redirect.redirect.isEmpty()) << redirect.body.left(2000).toStdString();
    return browser.get(QueryOf(redirect.redirect));
}

Page SignIn(Browser& browser, const QString& user, const QString& password) {
    const QString token = InputValue(browser.get("page=signin").body, "token");
    return browser.post("page=signin&user=" + Enc(user) + "&password=" + Enc(password) +
                        "&token=" + Enc(token));
}

QList<QHash<QString, QString>> AuditEntries(Browser& browser, const QString& filters) {
    const Page page = browser.get("page=audit&format=json" + filters);
    EXPECT_EQ(page.status, 200) << filters.toStdString() << page.body.left(2000).toStdString();
    const QJsonObject doc = QJsonDocument::fromJson(page.content).object();
    const QJsonArray columns = doc["columns"].toArray();
    QList<QHash<QString, QString>> entries;
    for (const QJsonValue& row : doc["rows"].toArray()) {
        QHash<QString, QString> entry;
        for (qsizetype i = 0; i < columns.size(); ++i)
            entry.insert(columns[i].toString(), row.toArray()[i].toString());
        entries.append(entry);
    }
    return entries;
}

QStringList Column(const QList<QHash<QString, QString>>& entries, const QString& column) {
    QStringList values;
    for (const auto& entry : entries)
        values.append(entry.value(column));
    return values;
}

} // namespace webapptest
