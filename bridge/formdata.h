#pragma once

#include "common/value.h"

#include <QString>

namespace bridge {

// Decodes "name=value&name=value" into a new Dictionary ("Vantori.Dictionary"),
// fields in the order given. A piece without "=" is a field with the empty
// value; text after a second "=" in a piece is dropped ("a=b=c" gives a = "b").
// A repeated name keeps the last value. "" gives an empty Dictionary.
common::DictionaryPtr ParseFormData(const QString& text);

} // namespace bridge
