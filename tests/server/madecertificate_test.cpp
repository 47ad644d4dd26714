#include "common/error.h"
#include "common/files.h"
#include "server/ipaddress.h"
#include "server/tls/madecertificate.h"
#include "server/tls/opensslptr.h"
#include "tests/support/processes.h"
#include "tests/support/qtprinters.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QNetworkInterface>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <sys/stat.h>
#include <unistd.h>

using server::CertificateNames;
using server::MadeCertificateRenewalReason;
using server::MakeSelfSignedCertificate;

namespace {

// The openssl command line judges what we made, as any other OpenSSL program would see it.
class MadeCertificate : public ::testing::Test {
protected:
    void SetUp() override {
        m_openssl = QStandardPaths::findExecutable(QStringLiteral("openssl"));
        if (m_openssl.isEmpty())
            GTEST_SKIP() << "no openssl command line";
        ASSERT_TRUE(m_dir.isValid());
    }

    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString certificate() const { return path(QStringLiteral("made.crt")); }
    QString key() const { return path(QStringLiteral("made.key")); }
    QStringList files() const {
        return QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    // What openssl printed, standard output and error together; "exit N: " in front when it
    // failed.
    QString openssl(const QStringList& arguments) const {
        const support::Finished run = support::RunToEnd(m_openssl, arguments, {});
        const QString text = QString::fromUtf8(run.out) + run.err;
        return run.exitCode == 0 ? text : QStringLiteral("exit %1: %2").arg(run.exitCode).arg(text);
    }
    QString x509(const QString& file, const QStringList& options) const {
        return openssl(QStringList{"x509", "-noout", "-in", file} + options);
    }
    // "notAfter=Mar  1 10:00:00 2027 GMT" as a date.
    QDateTime date(const QString& file, const QString& which) const {
        const QString line = x509(file, {"-" + which}).trimmed().section(u'=', 1).simplified();
        QDateTime read = QDateTime::fromString(line, QStringLiteral("MMM d HH:mm:ss yyyy 'GMT'"));
        read.setTimeSpec(Qt::UTC);
        return read;
    }

    QTemporaryDir m_dir;
    QString m_openssl;
};

const CertificateNames NAMES{{"localhost", "web-1.example.test"},
                             {"127.0.0.1", "::1", "192.0.2.7", "2001:db8::5"}};

server::X509Ptr readCertificate(const QString& file) {
    const server::BioPtr bio(BIO_new_file(QFile::encodeName(file).constData(), "r"));
    return server::X509Ptr(bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr);
}

// Signs the pair's certificate anew with its key, valid from now + fromDays to now + toDays.
void Redate(const QString& certificateFile, const QString& keyFile, long fromDays, long toDays) {
    const server::X509Ptr certificate = readCertificate(certificateFile);
    const server::BioPtr keyBio(BIO_new_file(QFile::encodeName(keyFile).constData(), "r"));
    const server::EvpPkeyPtr key(PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr));
    ASSERT_TRUE(certificate && key);
    ASSERT_TRUE(X509_gmtime_adj(X509_getm_notBefore(certificate.get()), fromDays * 86400));
    ASSERT_TRUE(X509_gmtime_adj(X509_getm_notAfter(certificate.get()), toDays * 86400));
    ASSERT_GT(X509_sign(certificate.get(), key.get(), EVP_sha256()), 0);
    const server::BioPtr out(BIO_new_file(QFile::encodeName(certificateFile).constData(), "w"));
    ASSERT_TRUE(out && PEM_write_bio_X509(out.get(), certificate.get()));
}

} // namespace

TEST_F(MadeCertificate, IsASelfSignedServerCertificateForEveryNameAndAddressWithAnOwnerOnlyKey) {
    const QDateTime before = QDateTime::currentDateTimeUtc();
    // Owner-only whatever the umask would let others have.
    const mode_t umask = ::umask(0);
    MakeSelfSignedCertificate(certificate(), key(), NAMES);
    ::umask(umask);
    const QDateTime after = QDateTime::currentDateTimeUtc();

    EXPECT_EQ(files(), QStringList({"made.crt", "made.key"})); // no temporary left beside them
    EXPECT_EQ(openssl({"verify", "-CAfile", certificate(), certificate()}).trimmed(),
              certificate() + ": OK");
    for (const QString& name : NAMES.dnsNames)
        EXPECT_EQ(x509(certificate(), {"-checkhost", name}).trimmed(),
                  "Hostname " + name + " does match certificate");
    for (const QString& address : NAMES.ipAddresses)
        EXPECT_EQ(x509(certificate(), {"-checkip", address}).trimmed(),
                  "IP " + address + " does match certificate");
    EXPECT_TRUE(x509(certificate(), {"-checkhost", "other.example.test"}).contains("NOT match"));
    EXPECT_TRUE(x509(certificate(), {"-checkip", "192.0.2.8"}).contains("NOT match"));

    const QString text = x509(certificate(), {"-text", "-nameopt", "RFC2253"});
    EXPECT_TRUE(support::ContainsInOrder(
        text,
        {"Version: 3 (0x2)", "Signature Algorithm: ecdsa-with-SHA256",
         "Issuer: O=Quorvex web server,CN=localhost", "Subject: O=Quorvex web server,CN=localhost",
         "NIST CURVE: P-256", "X509v3 Basic Constraints: critical\n                CA:FALSE",
         "X509v3 Key Usage: critical\n                Digital Signature\n",
         "X509v3 Extended Key Usage: \n                TLS Web Server Authentication\n",
         "X509v3 Subject Key Identifier:"}))
        << text.toStdString();

    // Valid from an hour before it was made, for exactly the days it is made for.
    const QDateTime notBefore = date(certificate(), "startdate");
    EXPECT_GE(notBefore, before.addSecs(-3600 - 1));
    EXPECT_LE(notBefore, after.addSecs(-3600 + 1));
    EXPECT_EQ(date(certificate(), "enddate"), notBefore.addDays(server::MADE_CERTIFICATE_DAYS));

    const QString publicKey = x509(certificate(), {"-pubkey"});
    EXPECT_TRUE(publicKey.startsWith("-----BEGIN PUBLIC KEY-----")) << publicKey.toStdString();
    EXPECT_EQ(openssl({"pkey", "-pubout", "-in", key()}), publicKey);
    struct stat keyStat {};
    ASSERT_EQ(::stat(QFile::encodeName(key()).constData(), &keyStat), 0);
    EXPECT_EQ(keyStat.st_mode & 07777, 0600u);

    // A second one is another key under another random serial number.
    const QString serial = x509(certificate(), {"-serial"});
    EXPECT_TRUE(QRegularExpression("^serial=[0-9A-F]{1,32}\n$").match(serial).hasMatch())
        << serial.toStdString();
    MakeSelfSignedCertificate(path("second.crt"), path("second.key"), NAMES);
    EXPECT_NE(x509(path("second.crt"), {"-serial"}), serial);
    EXPECT_NE(x509(path("second.crt"), {"-pubkey"}), publicKey);
}

TEST_F(MadeCertificate, RenewalReasonTellsWhatIsWrongAndNothingForAUsablePair) {
    EXPECT_EQ(MadeCertificateRenewalReason(certificate(), key()), "no certificate yet");

    MakeSelfSignedCertificate(certificate(), key(), NAMES);
    EXPECT_EQ(MadeCertificateRenewalReason(certificate(), key()), std::nullopt);

    MakeSelfSignedCertificate(path("other.crt"), path("other.key"), NAMES);
    common::SaveFile(path("garbage.crt"), "-----BEGIN CERTIFICATE-----\nAAAA\n");
    // A certificate made by the command line, valid for a number of days.
    const auto madeFor = [this](const QString& name, int days) {
        const QString output =
            openssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256",
                     "-nodes", "-subj", "/CN=localhost", "-days", QString::number(days), "-keyout",
                     path(name + ".key"), "-out", path(name + ".crt")});
        EXPECT_FALSE(output.startsWith("exit")) << output.toStdString();
    };
    madeFor("days10", 10);
    madeFor("days31", 31);
    const auto inUtc = [this](const QString& name) {
        return date(path(name + ".crt"), "enddate").toString("yyyy-MM-dd HH:mm:ss 'UTC'");
    };
    struct Case {
        QString certificate;
        QString key;
        QString reason; // what it starts with; "" for none
    };
    const Case cases[] = {
        {"made.crt", "missing.key", "no key for the certificate " + certificate()},
        {"made.crt", "other.key",
         "the key " + path("other.key") + " does not belong to the certificate"},
        {"garbage.crt", "made.key", "the certificate " + path("garbage.crt") + " cannot be read: "},
        {"made.crt", "garbage.crt", "the key " + path("garbage.crt") + " cannot be read: "},
        {"days10.crt", "days10.key", "the certificate expires on " + inUtc("days10")},
        {"days31.crt", "days31.key", ""},
        {"other.crt", "other.key", ""},
    };
    for (const Case& c : cases) {
        const auto reason = MadeCertificateRenewalReason(path(c.certificate), path(c.key));
        if (c.reason.isEmpty())
            EXPECT_EQ(reason, std::nullopt) << c.certificate.toStdString();
        else
            EXPECT_TRUE(reason && reason->startsWith(c.reason))
                << c.certificate.toStdString() << ": " << reason.value_or("(none)").toStdString();
    }

    // Outside its validity period, also when the clock was set back before its start.
    Redate(path("other.crt"), path("other.key"), -400, -1);
    EXPECT_EQ(MadeCertificateRenewalReason(path("other.crt"), path("other.key")),
              "the certificate expired on " + inUtc("other"));
    Redate(path("other.crt"), path("other.key"), 2, 300);
    EXPECT_EQ(MadeCertificateRenewalReason(path("other.crt"), path("other.key")),
              "the certificate is valid only from " +
                  date(path("other.crt"), "startdate").toString("yyyy-MM-dd HH:mm:ss 'UTC'"));
}

TEST_F(MadeCertificate, AFailureRaisesAndLeavesNoFileBehind) {
    common::SaveFile(path("file"), "not a folder");
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("folder.crt"));
    struct Case {
        QString certificate;
        QString key;
        CertificateNames names;
        QString description; // what it starts with
    };
    const Case cases[] = {
        {"file/made.crt", "file/made.key", NAMES, "Unable to write " + path("file/made.key")},
        // The key is written first, and removed again when its certificate cannot be.
        {"folder.crt", "made.key", NAMES, "Unable to write " + path("folder.crt")},
        {"made.crt",
         "made.key",
         {{"localhost", "bad name"}, {}},
         "Unable to make the certificate " + path("made.crt") + ": \"bad name\" is not a DNS name"},
        {"made.crt",
         "made.key",
         {{"localhost"}, {"192.0.2.300"}},
         "Unable to make the certificate " + path("made.crt") +
             ": \"192.0.2.300\" cannot be added to the certificate's names"},
        {"made.crt", "made.key", {}, "Unable to make the certificate " + path("made.crt")},
    };
    for (const Case& c : cases) {
        try {
            MakeSelfSignedCertificate(path(c.certificate), path(c.key), c.names);
            ADD_FAILURE() << "no error for " << c.description.toStdString();
        } catch (const common::Error& e) {
            EXPECT_EQ(e.number(), common::ERR_PROGRAM);
            EXPECT_TRUE(e.description().startsWith(c.description)) << e.description().toStdString();
        }
        EXPECT_EQ(files(), QStringList({"file", "folder.crt"})) << c.description.toStdString();
    }

    // A folder it may not write in (root may write anywhere).
    if (::geteuid() != 0) {
        const QString readOnly = path("readonly");
        ASSERT_TRUE(QDir().mkdir(readOnly));
        ASSERT_TRUE(QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ExeOwner));
        EXPECT_THROW(
            MakeSelfSignedCertificate(readOnly + "/made.crt", readOnly + "/made.key", NAMES),
            common::Error);
        EXPECT_TRUE(QDir(readOnly).isEmpty());
        QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
}

TEST_F(MadeCertificate, MachineNamesAreLocalhostTheHostNameAndEveryAddressReachableWithoutAZone) {
    const CertificateNames names = server::MachineCertificateNames();
    ASSERT_FALSE(names.dnsNames.isEmpty());
    EXPECT_EQ(names.dnsNames.first(), "localhost");
    const QString host = common::ComputerName();
    if (host != "localhost" && QRegularExpression("^[A-Za-z0-9._-]+$").match(host).hasMatch()) {
        EXPECT_EQ(names.dnsNames, QStringList({"localhost", host}));
    }
    EXPECT_TRUE(names.ipAddresses.contains("127.0.0.1"));
    EXPECT_TRUE(names.ipAddresses.contains("::1"));
    EXPECT_EQ(QSet<QString>(names.ipAddresses.begin(), names.ipAddresses.end()).size(),
              names.ipAddresses.size())
        << names.ipAddresses.join(' ').toStdString();

    // Every address of an interface that is up, as Qt lists them, but link-local IPv6 ones.
    for (const QNetworkInterface& i : QNetworkInterface::allInterfaces()) {
        if (!i.flags().testFlag(QNetworkInterface::IsUp))
            continue;
        for (const QNetworkAddressEntry& entry : i.addressEntries()) {
            QHostAddress address = entry.ip();
            address.setScopeId({}); // Qt writes a link-local one's zone after it
            const bool linkLocalV6 =
                address.protocol() == QAbstractSocket::IPv6Protocol && address.isLinkLocal();
            EXPECT_EQ(names.ipAddresses.contains(address.toString()), !linkLocalV6)
                << address.toString().toStdString();
        }
    }

    MakeSelfSignedCertificate(certificate(), key(), names);
    for (const QString& address : names.ipAddresses)
        EXPECT_EQ(x509(certificate(), {"-checkip", address}).trimmed(),
                  "IP " + address + " does match certificate");
}
