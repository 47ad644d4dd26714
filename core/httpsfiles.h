#pragma once

#include "core/folders.h"
#include "core/settings.h"

#include <QString>

namespace core {

// The certificate and key files the HTTPS listener serves: HttpsCertificate and HttpsKey as
// the settings give them (a relative path counts from the settings file's folder), or, when
// both are empty, the pair websvr makes for itself in the data folder.
struct HttpsFiles {
    QString certificate;
    QString key;
    bool made = false; // ours to make and renew
};

HttpsFiles HttpsFilesOf(const FolderSet& folders, const Settings& settings);

// The names of the made pair in the data folder.
inline constexpr const char* MADE_CERTIFICATE_FILE = "https-certificate.pem";
inline constexpr const char* MADE_KEY_FILE = "https-key.pem";

} // namespace core
