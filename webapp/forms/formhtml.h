#pragma once

#include "webapp/forms/formdefinition.h"
#include "webapp/rendering/html.h"

#include <optional>

namespace webapp {

// Pieces of the HTML forms the pages share.

// <form class="..." method="get|post" action="<root>/" accept-charset="utf-8">
Html FormStart(const QString& root, Markup method, Markup cssClass);
Html HiddenInput(const QString& name, const QString& value);
// One labelled field, marked invalid with its message when error is not empty. The message
// is named by FieldErrorAttributes, which the input carries.
Html FieldRow(const QString& id, const Html& label, const Html& input, const QString& error);
// What an input with this id says of itself when error is not empty: aria-invalid, and
// aria-describedby naming the message FieldRow shows next to it. Empty when there is no error.
Html FieldErrorAttributes(const QString& id, const QString& error);
// The message at the top of a refused form: announced, and focused when the page loads so
// that keyboard and screen reader start from it (no script needed).
Html ErrorSummary(const Html& text);
// The choices as options; the one whose value is selected marked so.
Html ChoiceOptions(const QList<FieldChoice>& choices, const std::optional<QString>& selected);
// The submit button and the end of the form.
Html FormEnd(const Html& button);

} // namespace webapp
