#include "desktopfixture.h"

#include "common/files.h"
#include "diagnostics/log.h"
#include "diagnostics/trace.h"
#include "i18n/language.h"

#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTcpSocket>

// The windows need a QApplication; this program's test main makes one.
std::unique_ptr<QCoreApplication> MakeTestApplication(int& argc, char** argv) {
    return std::make_unique<QApplication>(argc, argv);
}

namespace support {

ModalDriver::ModalDriver() {
    m_timer.setInterval(20);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { look(); });
    m_timer.start();
}

void ModalDriver::look() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal)
        return;
    const bool firstLook = modal != m_current;
    if (firstLook) {
        m_current = modal;
        m_currentGuard = QDeadlineTimer(WAIT_MS);
    } else if (m_currentGuard.hasExpired()) {
        ++forcedClosed;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        return;
    }
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (!box) {
        // Handed over from a call of its own: a timer does not fire again while its handler
        // runs, and the dialog's work may open a box that this timer must answer.
        if (onDialog && !m_handling.contains(modal)) {
            m_handling.insert(modal);
            QTimer::singleShot(0, [this, dialog = QPointer<QWidget>(modal)] {
                // A copy: the handler may set the next one while it runs.
                const std::function<void(QWidget*)> handler = onDialog;
                if (dialog && handler)
                    handler(dialog);
                m_handling.remove(dialog.data());
            });
        }
        return;
    }
    if (onBox && !firstLook)
        return;
    boxes.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons()});
    if (onBox) {
        onBox(box);
        return;
    }
    QAbstractButton* button = box->defaultButton();
    if (!answers.empty()) {
        button = box->button(answers.front());
        answers.pop_front();
    }
    if (button)
        button->click();
}

int ModalDriver::boxesWith(const QString& part) const {
    return int(std::count_if(boxes.begin(), boxes.end(),
                             [&](const Box& b) { return b.text.contains(part); }));
}

void DesktopFixture::SetUp() {
    ASSERT_TRUE(m_program.isValid());
    // Per-user settings, the temporary folder and the browser are the test's own: the
    // browser is a script that notes the address it is given.
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_program.beside("config"));
    qputenv("TEMP", m_program.temp().toUtf8());
    const QString bin = m_program.beside("bin");
    ASSERT_TRUE(WriteNotingBrowser(bin));
    m_path = qgetenv("PATH");
    qputenv("PATH", bin.toUtf8() + ":" + m_path);
    common::SetProgramFolder(m_program.path());
    diagnostics::Diagnostics::instance().reset();
}

void DesktopFixture::TearDown() {
    EXPECT_EQ(m_modals.forcedClosed, 0) << "a window waited for an answer that never came";
    if (m_core && !m_exitCode) {
        m_core->CloseServer(core::EXIT_ORDERLY);
        EXPECT_TRUE(Eventually([this] { return m_exitCode.has_value(); }, WAIT_MS));
    }
    m_core.reset();
    m_desktop.reset();
    diagnostics::Diagnostics::instance().reset();
    i18n::UnloadLanguage();
    common::SetProgramFolder(QString());
    qputenv("PATH", m_path);
}

void DesktopFixture::launchCore(const QStringList& arguments) {
    m_desktop = std::make_unique<ui::Desktop>();
    m_core = std::make_unique<core::WebServer>(*m_desktop, arguments, m_webApplication);
    QObject::connect(m_core.get(), &core::WebServer::finished,
                     [this](int exitCode) { m_exitCode = exitCode; });
    m_desktop->attach(*m_core);
    m_core->start();
}

void DesktopFixture::startCore(const QStringList& arguments) {
    launchCore(arguments);
    ASSERT_TRUE(Eventually([this] { return m_core->startupComplete() || m_exitCode.has_value(); },
                           WAIT_MS));
    ASSERT_FALSE(m_exitCode.has_value()) << logText().toStdString();
    m_desktop->mainWindow()->refresh();
}

QStringList DesktopFixture::openedUrls() const {
    return NotedAddresses(m_program.beside("bin"));
}

QByteArray DesktopFixture::fetch(const QString& path) const {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(m_core->settings().TCPPort));
    QByteArray answer;
    QObject::connect(&socket, &QTcpSocket::connected,
                     [&] { socket.write("GET " + path.toUtf8() + " HTTP/1.0\r\n\r\n"); });
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] { answer += socket.readAll(); });
    Eventually([&] { return socket.state() == QAbstractSocket::UnconnectedState; }, WAIT_MS);
    return answer + socket.readAll();
}

QString DesktopFixture::logText() const {
    diagnostics::Log* log = diagnostics::Diagnostics::instance().log();
    return log ? QString::fromLatin1(ReadFile(log->LogFilePath())) : QString();
}

} // namespace support
