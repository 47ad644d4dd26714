#pragma once

#include "webapp/rendering/html.h"

namespace webapp {

// Pieces of the HTML forms the pages share.

// <form class="..." method="get|post" action="<root>/" accept-charset="utf-8">
Html FormStart(const QString& root, Markup method, Markup cssClass);
Html HiddenInput(const QString& name, const QString& value);
// One labelled field, marked invalid with its message when error is not empty.
Html FieldRow(const QString& id, const Html& label, const Html& input, const QString& error);
// The submit button and the end of the form.
Html FormEnd(const Html& button);

} // namespace webapp
