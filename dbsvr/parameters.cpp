#include "dbsvr/parameters.h"

#include "common/codepage.h"
#include "common/files.h"

#include <QStringList>

namespace dbsvr {

namespace {
QString unquoted(QString value) {
    value = value.trimmed();
    if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
        return value.mid(1, value.size() - 2);
    return value;
}

void assign(Parameters& p, const QString& key, const QString& value) {
    for (const dataserver::ParameterKey& entry : dataserver::PARAMETER_KEYS)
        if (key == QLatin1String(entry.key))
            p.*entry.value = value;
}
} // namespace

Parameters ParseParameterText(QByteArrayView bytes) {
    Parameters p;
    // The web server writes UTF-8 after a byte-order mark when a path does not fit the code page.
    const QByteArrayView utf8Mark(dataserver::UTF8_BYTE_ORDER_MARK);
    const QString text = bytes.startsWith(utf8Mark) ? QString::fromUtf8(bytes.sliced(3))
                                                    : common::FromCodePage(bytes);
    for (QString line : text.split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        assign(p, line.left(eq).trimmed().toLower(), unquoted(line.mid(eq + 1)));
    }
    return p;
}

Parameters ReadParameterFile(const QString& path) {
    return ParseParameterText(common::ReadFile(path));
}

} // namespace dbsvr
