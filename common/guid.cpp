#include "common/guid.h"

#include "common/error.h"

#include <QUuid>

namespace common {

QString NewGuidString() {
    const QUuid id = QUuid::createUuid();
    if (id.isNull())
        throw Error(ERR_PROGRAM, QStringLiteral("Error generating guid: Error generating guid. "
                                                "Function did not return S_OK"));
    return id.toString(QUuid::WithoutBraces).toUpper();
}

} // namespace common
