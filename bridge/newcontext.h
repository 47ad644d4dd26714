#pragma once

#include "common/value.h"

namespace bridge {

struct PageContext;

// A new context Dictionary for one request, entries in this order:
// PhysicalServerRoot, PhysicalDocumentRoot, Application (the shared Dictionary
// itself), Request (empty), Messages (empty), ThemeFolder, ImageFolder,
// AdminFolder, RelativePath, Debug, DefaultUserMode, Secret, TempFolder,
// SessionTimeout, InQueueFolder, OutQueueFolder, session (empty), and last
// Server, the core's status now (NewServerEntry).
common::DictionaryPtr NewContext(const PageContext& context);

} // namespace bridge
