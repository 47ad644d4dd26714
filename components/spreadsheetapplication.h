#pragma once

#include "common/component.h"

#include <QString>
#include <QStringList>

namespace components {

// "Excel.Application" and its versioned names "Excel.Application.9" to ".15": the probe
// that tells the web application whether a spreadsheet application (LibreOffice) is there.
// The classes are registered only when one is found on PATH.
class SpreadsheetApplication final : public common::Component {
public:
    SpreadsheetApplication(QString className, QString program)
        : m_className(std::move(className)), m_program(std::move(program)) {}

    QString className() const override { return m_className; }
    // The office program found on PATH.
    const QString& program() const { return m_program; }

    // Every class name the probe answers to.
    static QStringList classNames();
    // The path of "soffice", else "libreoffice", on PATH; "" when neither is there.
    static QString findProgram();

private:
    QString m_className;
    QString m_program;
};

} // namespace components
