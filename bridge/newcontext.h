#pragma once

#include "common/value.h"

namespace bridge {

struct PageContext;
struct ServerStatus;

// A new context Dictionary for one request, entries in this order:
// PhysicalServerRoot, PhysicalDocumentRoot, Application (the shared Dictionary
// itself), Request (empty), Messages (empty), ThemeFolder, ImageFolder,
// AdminFolder, RelativePath, Debug, DefaultUserMode, Secret, TempFolder,
// SessionTimeout, InQueueFolder, OutQueueFolder, session (empty), and last
// Server, made from status (NewServerEntry).
common::DictionaryPtr NewContext(const PageContext& context, const ServerStatus& status);

} // namespace bridge
