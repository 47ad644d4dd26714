#pragma once

#include "webapp/data/remotedatabase.h"
#include "webapp/forms/formdefinition.h"

#include <optional>

namespace webapp {

// The most rows of a table a query parameter offers as a choice list; a larger table gets a
// plain input.
inline constexpr int MAX_PARAMETER_CHOICES = 1000;

// What a parameter whose values are a table's keys offers: each row's key with its label (the
// table's label column; the key itself where that is NULL or the table has none), in label
// order. nullopt for a parameter of no table, a table without a one-column key or that cannot
// be read, or one of more than MAX_PARAMETER_CHOICES rows. Raises DataUnavailable.
std::optional<QList<FieldChoice>> ParameterChoices(const RemoteDatabase& database,
                                                   const QueryParameter& parameter);

} // namespace webapp
