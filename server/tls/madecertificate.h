#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace server {

// How long a certificate websvr makes for itself is valid: within what browsers accept of
// any server certificate.
inline constexpr int MADE_CERTIFICATE_DAYS = 397;
// A made certificate that expires within this many days is made anew.
inline constexpr int MADE_CERTIFICATE_RENEWAL_DAYS = 30;

// The names and addresses a made certificate covers.
struct CertificateNames {
    QStringList dnsNames;    // "localhost" first
    QStringList ipAddresses; // text, IPv4 and IPv6
};

// "localhost" and the machine's name (gethostname; left out when it is no DNS name); the
// addresses 127.0.0.1, ::1 and every address of every interface that is up, but IPv6
// link-local ones (a client needs a zone to reach them, and no certificate can hold one).
// Asks no resolver: only what the machine knows of itself without the network. Each name and
// address once.
CertificateNames MachineCertificateNames();

// Makes a new ECDSA P-256 key and a self-signed certificate for names, valid from an hour ago
// (a client's clock may lag) for MADE_CERTIFICATE_DAYS days, and writes both as PEM: the key
// readable by its owner only (at no moment by others), the certificate as the umask allows.
// Each file is written beside and renamed into place, so an old pair is replaced whole or
// not at all; when the certificate cannot be written after the key was, the key is removed.
// The folder must exist. Raises common::Error ERR_PROGRAM naming what failed and the file.
void MakeSelfSignedCertificate(const QString& certificateFile, const QString& keyFile,
                               const CertificateNames& names);

// Why the made certificate must be made (again), for the log ("no certificate yet", "the
// certificate expires on ..."): a file missing or unreadable, a key that does not belong to
// the certificate, a certificate not valid yet (the clock was set back) or one that expires
// within MADE_CERTIFICATE_RENEWAL_DAYS days. std::nullopt: it can be used as it is.
std::optional<QString> MadeCertificateRenewalReason(const QString& certificateFile,
                                                    const QString& keyFile);

} // namespace server
