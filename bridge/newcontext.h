#pragma once

#include "common/value.h"

#include <QString>
#include <memory>

namespace bridge {

struct PageContext;
struct ServerStatus;

// Makes the context Dictionary of each request. Its entries, in this order:
// PhysicalServerRoot, PhysicalDocumentRoot, Application (the shared Dictionary
// itself), Request, Messages (empty), ThemeFolder, ImageFolder, AdminFolder,
// RelativePath, Debug, DefaultUserMode, Secret, TempFolder, SessionTimeout,
// InQueueFolder, OutQueueFolder, session (empty), and last Server, made from
// status (NewServerEntry). What depends on the PageContext alone is built once
// and copied for as long as the PageContext keeps those values.
class ContextMaker final {
public:
    using Template = std::shared_ptr<const common::Dictionary>;

    // The constant entries for context, the others empty. One thread (the one that owns
    // context) calls it: the template is rebuilt there when those values change.
    Template templateFor(const PageContext& context);
    // A context from a template; any thread. request: the Request entry; null gives an
    // empty Dictionary.
    static common::DictionaryPtr NewContext(const Template& entries, const ServerStatus& status,
                                            common::DictionaryPtr request = nullptr);

private:
    // The values of the PageContext the constant entries are made of.
    struct Constants {
        QString programFolder;
        QString webRootFolder;
        QString urlPrefix;
        common::DictionaryPtr application;
        bool debugMode = false;
        QString userMode;
        QString runSecret;
        QString tempFolder;
        int32_t sessionTimeout = 0;
        QString inQueueFolder;
        QString outQueueFolder;
        bool operator==(const Constants&) const = default;
    };
    static Constants constantsOf(const PageContext& context);
    static common::DictionaryPtr newTemplate(const Constants& constants);

    Constants m_constants;
    Template m_template;
};

} // namespace bridge
