#include "core/portscan.h"
#include "server/httpconfig.h"
#include "server/httpserver.h"
#include "server/requesthandler.h"
#include "startupfixture.h"

#include <QRandomGenerator>
#include <QTcpServer>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {
class NoPages final : public server::RequestHandler {
public:
    server::PageWork Prepare(const server::DynamicRequest&) override {
        return [] { return common::Response(); };
    }
};

class PortScanTest : public StartupFixture {
protected:
    void SetUp() override {
        StartupFixture::SetUp();
        m_server = std::make_unique<server::HttpServer>(m_config, m_pages);
        findPorts();
    }
    void TearDown() override {
        m_server.reset();
        m_holders.clear();
        StartupFixture::TearDown();
    }

    // Three consecutive high ports: the first two held by other sockets, the third free.
    void findPorts() {
        for (int attempt = 0; attempt < 200; ++attempt) {
            m_base = 20000 + QRandomGenerator::global()->bounded(40000);
            m_holders.clear();
            if (hold(m_base) && hold(m_base + 1) && free(m_base + 2))
                return;
        }
        FAIL() << "no free range of ports";
    }
    bool hold(int port) {
        auto holder = std::make_unique<QTcpServer>();
        if (!holder->listen(QHostAddress::Any, static_cast<quint16>(port)))
            return false;
        m_holders.push_back(std::move(holder));
        return true;
    }
    static bool free(int port) {
        QTcpServer probe;
        return probe.listen(QHostAddress::Any, static_cast<quint16>(port));
    }

    server::HttpConfig m_config;
    NoPages m_pages;
    std::unique_ptr<server::HttpServer> m_server;
    std::vector<std::unique_ptr<QTcpServer>> m_holders;
    int m_base = 0;
};
} // namespace

TEST_F(PortScanTest, PortsInUseAreSkippedSilently) {
    EXPECT_EQ(core::ScanPorts(*m_server, m_base, m_base + 2), m_base + 2);
    EXPECT_EQ(m_server->serverPort(), 0); // left closed
    EXPECT_EQ(core::ScanPorts(*m_server, m_base, m_base + 1), 0);
    EXPECT_EQ(core::ScanPorts(*m_server, m_base + 2, m_base), 0); // empty range
    EXPECT_TRUE(m_ui.shown.isEmpty());
}

TEST_F(PortScanTest, OwnListenerIsClosedFirst) {
    ASSERT_EQ(m_server->tryListen(m_base + 2), 0);
    EXPECT_EQ(core::ScanPorts(*m_server, m_base + 2, m_base + 2), m_base + 2);
    EXPECT_EQ(m_server->serverPort(), 0);
}

TEST_F(PortScanTest, OtherErrorsAreShownOncePerPortAndTheScanGoesOn) {
    EXPECT_EQ(core::ScanPorts(*m_server, -2, -1), 0);
    ASSERT_EQ(m_ui.shown.size(), 2);
    EXPECT_EQ(m_ui.shown[0], "48|Error while scanning for available ports.\r\n\r\nError "
                             "Information:\r\n10022 (0x2726)\r\nInvalid argument");
}

TEST_F(PortScanTest, PrivilegedPortsAreSkippedWithATraceEntry) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may listen on any port";
    EXPECT_EQ(core::ScanPorts(*m_server, 80, 81), 0);
    EXPECT_TRUE(m_ui.shown.isEmpty());
    EXPECT_TRUE(logText().contains("Port 80 skipped: Permission denied"));
}
