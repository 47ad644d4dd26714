#include "common/error.h"

namespace common {

Error::Error(int number, QString description, QString source)
    : m_number(number), m_source(std::move(source)), m_description(std::move(description)),
      m_what(QStringLiteral("Error %1. %2").arg(number).arg(m_description).toStdString()) {}

Error Error::wrapped(const QString& prefix) const {
    return Error(m_number, prefix + m_description, m_source);
}

} // namespace common
