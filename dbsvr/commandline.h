#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

namespace dbsvr {

// The data server's command line as key/value pairs. Accepts what the web
// server and people type alike: `parameterfile=<path>`, `parameterfile="<path>"`
// (two double quotes inside a quoted value stand for one),
// a trailing comma on an argument (`mode=config,`), the word `hidden` alone or
// as `, hidden`, and several pairs inside one argument when their values are
// quoted. Keys compare without regard to case; a word without "=" is a flag
// with the empty value.
class CommandLine final {
public:
    explicit CommandLine(const QStringList& arguments);

    bool has(const QString& key) const { return m_values.contains(key.toLower()); }
    // The value of key; "" when absent.
    QString value(const QString& key) const { return m_values.value(key.toLower()); }

private:
    void parseArgument(const QString& argument);
    qsizetype readQuoted(const QString& argument, qsizetype i, const QString& key);

    QHash<QString, QString> m_values;
};

} // namespace dbsvr
