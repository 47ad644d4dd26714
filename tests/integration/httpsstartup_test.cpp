// A hidden run with HTTPS on that cannot serve it ends before it serves anything: it prints no
// address and says why on standard error, with its exit status.
#include "server/tls/madecertificate.h"
#include "tests/support/processes.h"
#include "tests/support/programfolder.h"
#include "tests/support/qtprinters.h"

#include <QHostAddress>
#include <QTcpServer>
#include <gtest/gtest.h>

using namespace support;

namespace {

class HttpsStartupTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_program.isValid()); }

    // A pair websvr could serve, made by its own routine, beside the program folder.
    QString makePair(const QString& name) const {
        const QString certificate = m_program.beside(name + ".crt");
        server::MakeSelfSignedCertificate(certificate, m_program.beside(name + ".key"),
                                          {{"localhost"}, {"127.0.0.1"}});
        return certificate;
    }
    void httpsWith(const QString& certificate, const QString& key, int port) const {
        m_program.writeSettings(
            QString("<HttpsEnabled>1</HttpsEnabled><HttpsPort>%1</HttpsPort>"
                    "<HttpsCertificate>%2</HttpsCertificate><HttpsKey>%3</HttpsKey>")
                .arg(QString::number(port), certificate, key));
    }

    ProgramFolder m_program;
};

struct UnusableFiles {
    const char* what;
    const char* certificate; // names beside the program folder
    const char* key;
    const char* message; // %1 the certificate's path, %2 the key's
};

} // namespace

TEST_F(HttpsStartupTest, UnusableCertificateOrKeyEndsTheStartWithoutServing) {
    makePair("one");
    makePair("other");
    WriteFile(m_program.beside("text.pem"), "This is no certificate.\n");
    const UnusableFiles cases[] = {
        {"a key of another certificate", "one.crt", "other.key",
         "The HTTPS key file %2 does not belong to the certificate in %1"},
        {"a missing certificate file", "missing.crt", "one.key",
         "The HTTPS certificate file %1 cannot be read: "},
        {"a certificate file that is not PEM", "text.pem", "one.key",
         "The HTTPS certificate file %1 holds no usable certificate (PEM): "},
        {"a key file that is not PEM", "one.crt", "text.pem",
         "The HTTPS key file %2 holds no usable private key (PEM, without a passphrase): "},
    };
    for (const UnusableFiles& c : cases) {
        SCOPED_TRACE(c.what);
        const QString certificate = m_program.beside(c.certificate);
        const QString key = m_program.beside(c.key);
        httpsWith(certificate, key, FreePort());
        ChildProcess& p = m_program.startWebsvr({"hidden"});
        EXPECT_EQ(p.readLine(), ""); // no address: nothing is served, over HTTP neither
        EXPECT_EQ(p.finish(), 1);
        const QByteArray errors = p.process().readAllStandardError();
        EXPECT_TRUE(errors.contains(
            "websvr: An error occured in the program. Error 1000. " +
            QString(c.message).replace("%1", certificate).replace("%2", key).toUtf8()))
            << errors.toStdString();
    }
}

TEST_F(HttpsStartupTest, TakenHttpsPortEndsAHiddenRun) {
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::Any));
    m_program.writeSettings(
        QString("<HttpsEnabled>1</HttpsEnabled><HttpsPort>%1</HttpsPort>").arg(other.serverPort()));
    ChildProcess& p = m_program.startWebsvr({"hidden"});
    EXPECT_EQ(p.readLine(), "");
    EXPECT_EQ(p.finish(), 4);
    const QByteArray errors = p.process().readAllStandardError();
    EXPECT_TRUE(errors.contains(QString("websvr: Unable to listen for HTTPS on port %1: ")
                                    .arg(other.serverPort())
                                    .toUtf8()))
        << errors.toStdString();
}
