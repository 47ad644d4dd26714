#include "server/tls/madecertificate.h"

#include "common/error.h"
#include "common/files.h"
#include "common/version.h"
#include "server/ipaddress.h"
#include "server/tls/opensslerror.h"
#include "server/tls/opensslptr.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstring>
#include <ctime>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <vector>

namespace server {

namespace {

constexpr int SECONDS_PER_DAY = 24 * 60 * 60;
// A made certificate is valid from this long before it was made: a client whose clock lags
// a little still takes it.
constexpr int BACKDATED_SECONDS = 60 * 60;

// Letters, digits, '-', '.' and '_': what a client can ask for by name. Anything else would be
// a certificate entry no client matches, and IA5 text holds ASCII only.
bool isDnsName(const QString& name) {
    return !name.isEmpty() && name.size() <= 253 &&
           std::all_of(name.begin(), name.end(), [](QChar c) {
               return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                      (c >= u'0' && c <= u'9') || c == u'-' || c == u'.' || c == u'_';
           });
}

std::optional<IpAddress> interfaceAddress(const sockaddr& address) {
    sockaddr_storage storage{};
    if (address.sa_family == AF_INET)
        std::memcpy(&storage, &address, sizeof(sockaddr_in));
    else if (address.sa_family == AF_INET6)
        std::memcpy(&storage, &address, sizeof(sockaddr_in6));
    else
        return std::nullopt;
    return IpAddressOf(storage);
}

bool isLinkLocalV6(const IpAddress& address) {
    return !address.isV4() && address.bytes[0] == 0xfe && (address.bytes[1] & 0xc0) == 0x80;
}

// The addresses of the interfaces that are up; none when the kernel cannot list them.
std::vector<IpAddress> interfaceAddresses() {
    std::vector<IpAddress> addresses;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return addresses;
    const std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> owner(list, &::freeifaddrs);
    for (const ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || !(i->ifa_flags & IFF_UP))
            continue;
        if (const auto address = interfaceAddress(*i->ifa_addr);
            address && !isLinkLocalV6(*address))
            addresses.push_back(*address);
    }
    return addresses;
}

// What failed, with the reasons OpenSSL gives.
QString withReasons(const QString& what) {
    const QString reasons = OpenSslErrorText();
    return reasons.isEmpty() ? what : what + QStringLiteral(": ") + reasons;
}

[[noreturn]] void openSslFailed(const QString& what) {
    throw common::Error(common::ERR_PROGRAM, withReasons(what),
                        QStringLiteral("MakeSelfSignedCertificate"));
}

EvpPkeyPtr newKey() {
    EvpPkeyPtr key(EVP_EC_gen("P-256"));
    if (!key)
        openSslFailed(QStringLiteral("the key cannot be made"));
    return key;
}

void setSerialNumber(X509* certificate) {
    BignumPtr number(::BN_new());
    // Odd, so never zero: a serial number is positive.
    if (!number || !::BN_rand(number.get(), 128, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ODD))
        openSslFailed(QStringLiteral("no random serial number"));
    const Asn1IntegerPtr serial(::BN_to_ASN1_INTEGER(number.get(), nullptr));
    if (!serial || !::X509_set_serialNumber(certificate, serial.get()))
        openSslFailed(QStringLiteral("the serial number cannot be set"));
}

void setValidity(X509* certificate) {
    time_t now = std::time(nullptr);
    if (!::X509_time_adj_ex(::X509_getm_notBefore(certificate), 0, -BACKDATED_SECONDS, &now) ||
        !::X509_time_adj_ex(::X509_getm_notAfter(certificate), MADE_CERTIFICATE_DAYS,
                            -BACKDATED_SECONDS, &now))
        openSslFailed(QStringLiteral("the validity period cannot be set"));
}

// Subject and issuer alike: the certificate signs itself.
void setNames(X509* certificate) {
    const X509NamePtr name(::X509_NAME_new());
    const QByteArray organization =
        (common::ProductName() + QStringLiteral(" web server")).toUtf8();
    const auto add = [&name](const char* field, const QByteArray& value) {
        return ::X509_NAME_add_entry_by_txt(
                   name.get(), field, MBSTRING_UTF8,
                   reinterpret_cast<const unsigned char*>(value.constData()), int(value.size()), -1,
                   0) == 1;
    };
    if (!name || !add("CN", QByteArrayLiteral("localhost")) || !add("O", organization) ||
        !::X509_set_subject_name(certificate, name.get()) ||
        !::X509_set_issuer_name(certificate, name.get()))
        openSslFailed(QStringLiteral("the subject name cannot be set"));
}

void addExtension(X509* certificate, int nid, const char* value) {
    X509V3_CTX context{};
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    const X509ExtensionPtr extension(::X509V3_EXT_nconf_nid(nullptr, &context, nid, value));
    if (!extension || !::X509_add_ext(certificate, extension.get(), -1))
        openSslFailed(QStringLiteral("the extension %1 cannot be added")
                          .arg(QString::fromLatin1(::OBJ_nid2sn(nid))));
}

void addName(GENERAL_NAMES* names, int type, const QString& text) {
    GeneralNamePtr name(
        ::a2i_GENERAL_NAME(nullptr, nullptr, nullptr, type, text.toLatin1().constData(), 0));
    if (!name || !::sk_GENERAL_NAME_push(names, name.get()))
        openSslFailed(
            QStringLiteral("\"%1\" cannot be added to the certificate's names").arg(text));
    name.release(); // the stack holds it now
}

void addAlternativeNames(X509* certificate, const CertificateNames& names) {
    if (names.dnsNames.isEmpty() && names.ipAddresses.isEmpty())
        throw common::Error(common::ERR_PROGRAM, QStringLiteral("no name to make it for"),
                            QStringLiteral("MakeSelfSignedCertificate"));
    const GeneralNamesPtr all(::GENERAL_NAMES_new());
    if (!all)
        openSslFailed(QStringLiteral("the certificate's names cannot be listed"));
    for (const QString& name : names.dnsNames) {
        if (!isDnsName(name))
            throw common::Error(common::ERR_PROGRAM,
                                QStringLiteral("\"%1\" is not a DNS name").arg(name),
                                QStringLiteral("MakeSelfSignedCertificate"));
        addName(all.get(), GEN_DNS, name);
    }
    // a2i_GENERAL_NAME refuses what is not an IP address, also text with other characters.
    for (const QString& address : names.ipAddresses)
        addName(all.get(), GEN_IPADD, address);
    if (::X509_add1_ext_i2d(certificate, NID_subject_alt_name, all.get(), 0, X509V3_ADD_DEFAULT) !=
        1)
        openSslFailed(QStringLiteral("the certificate's names cannot be added"));
}

X509Ptr signedCertificate(EVP_PKEY* key, const CertificateNames& names) {
    X509Ptr certificate(::X509_new());
    if (!certificate || !::X509_set_version(certificate.get(), X509_VERSION_3) ||
        !::X509_set_pubkey(certificate.get(), key))
        openSslFailed(QStringLiteral("the certificate cannot be started"));
    setSerialNumber(certificate.get());
    setValidity(certificate.get());
    setNames(certificate.get());
    addExtension(certificate.get(), NID_basic_constraints, "critical,CA:FALSE");
    addExtension(certificate.get(), NID_key_usage, "critical,digitalSignature");
    addExtension(certificate.get(), NID_ext_key_usage, "serverAuth");
    addExtension(certificate.get(), NID_subject_key_identifier, "hash");
    addAlternativeNames(certificate.get(), names);
    if (::X509_sign(certificate.get(), key, ::EVP_sha256()) <= 0)
        openSslFailed(QStringLiteral("the certificate cannot be signed"));
    return certificate;
}

// What write put into a memory BIO, as PEM text.
template <typename Write> QByteArray pem(Write write, const QString& what) {
    const BioPtr bio(::BIO_new(::BIO_s_mem()));
    if (!bio || write(bio.get()) != 1)
        openSslFailed(QStringLiteral("the %1 cannot be written as PEM").arg(what));
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return QByteArray(data, qsizetype(size));
}

// "2026-03-01 10:00:00 UTC"; "an unknown date" when OpenSSL cannot read it.
QString dateText(const ASN1_TIME* time) {
    tm parts{};
    if (::ASN1_TIME_to_tm(time, &parts) != 1)
        return QStringLiteral("an unknown date");
    const QDateTime date(QDate(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday),
                         QTime(parts.tm_hour, parts.tm_min, parts.tm_sec), Qt::UTC);
    return date.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'"));
}

BioPtr openForReading(const QString& file) {
    return BioPtr(::BIO_new_file(QFile::encodeName(file).constData(), "r"));
}

// A key file is never asked a passphrase for: websvr has nobody to ask, and OpenSSL's default
// would wait for one on the terminal.
int noPassphrase(char*, int, int, void*) {
    return 0;
}

// Why the certificate's validity makes it unfit to use now; nothing when it is fit.
std::optional<QString> validityReason(const X509* certificate) {
    time_t now = std::time(nullptr);
    time_t renewal = now + time_t(MADE_CERTIFICATE_RENEWAL_DAYS) * SECONDS_PER_DAY;
    const ASN1_TIME* notBefore = ::X509_get0_notBefore(certificate);
    const ASN1_TIME* notAfter = ::X509_get0_notAfter(certificate);
    // X509_cmp_time: -1 earlier or equal, 1 later, 0 unreadable.
    const int start = ::X509_cmp_time(notBefore, &now);
    const int end = ::X509_cmp_time(notAfter, &renewal);
    if (start == 0 || end == 0)
        return QStringLiteral("the certificate's validity period cannot be read");
    if (start > 0)
        return QStringLiteral("the certificate is valid only from ") + dateText(notBefore);
    if (end > 0)
        return std::nullopt;
    return (::X509_cmp_time(notAfter, &now) > 0 ? QStringLiteral("the certificate expires on ")
                                                : QStringLiteral("the certificate expired on ")) +
           dateText(notAfter);
}

std::optional<QString> renewalReason(const QString& certificateFile, const QString& keyFile) {
    if (!QFileInfo::exists(certificateFile))
        return QStringLiteral("no certificate yet");
    if (!QFileInfo::exists(keyFile))
        return QStringLiteral("no key for the certificate ") + certificateFile;
    const BioPtr certificateBio = openForReading(certificateFile);
    const X509Ptr certificate(
        certificateBio ? ::PEM_read_bio_X509(certificateBio.get(), nullptr, nullptr, nullptr)
                       : nullptr);
    if (!certificate)
        return withReasons(
            QStringLiteral("the certificate %1 cannot be read").arg(certificateFile));
    const BioPtr keyBio = openForReading(keyFile);
    const EvpPkeyPtr key(
        keyBio ? ::PEM_read_bio_PrivateKey(keyBio.get(), nullptr, &noPassphrase, nullptr)
               : nullptr);
    if (!key)
        return withReasons(QStringLiteral("the key %1 cannot be read").arg(keyFile));
    if (::X509_check_private_key(certificate.get(), key.get()) != 1)
        return QStringLiteral("the key %1 does not belong to the certificate %2")
            .arg(keyFile, certificateFile);
    return validityReason(certificate.get());
}

} // namespace

CertificateNames MachineCertificateNames() {
    CertificateNames names;
    names.dnsNames << QStringLiteral("localhost");
    const QString host = common::ComputerName();
    if (isDnsName(host) && host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) != 0)
        names.dnsNames << host;
    std::vector<IpAddress> addresses{*ParseIpAddress(u"127.0.0.1"), *ParseIpAddress(u"::1")};
    for (const IpAddress& address : interfaceAddresses()) {
        if (std::find(addresses.begin(), addresses.end(), address) == addresses.end())
            addresses.push_back(address);
    }
    for (const IpAddress& address : addresses)
        names.ipAddresses << address.text();
    return names;
}

void MakeSelfSignedCertificate(const QString& certificateFile, const QString& keyFile,
                               const CertificateNames& names) {
    QByteArray certificatePem;
    QByteArray keyPem;
    try {
        const EvpPkeyPtr key = newKey();
        const X509Ptr certificate = signedCertificate(key.get(), names);
        certificatePem = pem([&](BIO* bio) { return ::PEM_write_bio_X509(bio, certificate.get()); },
                             QStringLiteral("certificate"));
        keyPem = pem(
            [&](BIO* bio) {
                return ::PEM_write_bio_PrivateKey(bio, key.get(), nullptr, nullptr, 0, nullptr,
                                                  nullptr);
            },
            QStringLiteral("key"));
    } catch (const common::Error& e) {
        throw e.wrapped(QStringLiteral("Unable to make the certificate %1: ").arg(certificateFile));
    }
    common::SaveFile(keyFile, keyPem, common::FileAccess::OwnerOnly);
    try {
        common::SaveFile(certificateFile, certificatePem);
    } catch (const common::Error&) {
        // A key without its certificate is of no use, and the next start makes both anew.
        QFile::remove(keyFile);
        throw;
    }
}

std::optional<QString> MadeCertificateRenewalReason(const QString& certificateFile,
                                                    const QString& keyFile) {
    const auto reason = renewalReason(certificateFile, keyFile);
    // What the checks left in OpenSSL's queue is no later failure's reason.
    ::ERR_clear_error();
    return reason;
}

} // namespace server
