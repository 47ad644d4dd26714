#include "core/usermode.h"

#include "common/error.h"
#include "common/xml.h"

namespace core {

QString ReadUserMode(const QString& path) {
    pugi::xml_document doc;
    common::LoadXmlFile(doc, path); // a failed load leaves the document empty
    const QString mode = common::NodeText(doc, QStringLiteral("/Context/Users/Method")).toUpper();
    if (mode != QLatin1String("DETECT") && mode != QLatin1String("APPLICATION"))
        throw common::Error(common::ERR_PROGRAM,
                            QStringLiteral("Invalid usermode '") + mode + QLatin1Char('\''));
    return mode;
}

} // namespace core
