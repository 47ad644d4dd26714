#pragma once

#include "common/component.h"

#include <QString>
#include <QStringList>

namespace components {

// "Excel.Application" and its versioned names "Excel.Application.9" to ".15". What the
// spreadsheet application did for the web application (charts, workbooks) is built into it,
// so the classes are always there and the spreadsheet check answers ok.
class SpreadsheetApplication final : public common::Component {
public:
    explicit SpreadsheetApplication(QString className) : m_className(std::move(className)) {}

    QString className() const override { return m_className; }

    // Every class name it answers to.
    static QStringList classNames();

private:
    QString m_className;
};

} // namespace components
