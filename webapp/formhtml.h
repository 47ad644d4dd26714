#pragma once

#include <QString>

namespace webapp {

// Pieces of the HTML forms the pages share. Names and values are escaped here; labelHtml,
// inputHtml and buttonHtml are HTML already.

// <form class="..." method="get|post" action="<root>/" accept-charset="utf-8">
QString FormStart(const QString& root, const char* method, const char* cssClass);
QString HiddenInput(const QString& name, const QString& value);
// One labelled field, marked invalid with its message when error is not empty.
QString FieldRow(const QString& id, const QString& labelHtml, const QString& inputHtml,
                 const QString& error);
// The submit button and the end of the form.
QString FormEnd(const QString& buttonHtml);

} // namespace webapp
