#include "ui/mainwindow.h"

#include "common/userinterface.h"
#include "common/version.h"
#include "core/coreface.h"
#include "core/exitcodes.h"
#include "i18n/language.h"
#include "ui/aboutbox.h"
#include "ui/appicon.h"
#include "ui/linklabel.h"
#include "ui/messagebox.h"
#include "ui/tracelogwindow.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QVBoxLayout>

namespace ui {

namespace {
// How often a changed request counter is shown at most.
const int REFRESH_MS = 100;

template <typename Widget> Widget* named(Widget* widget, const char* name, const char* labelId) {
    widget->setObjectName(QLatin1String(name));
    if (labelId)
        widget->setProperty("labelId", QLatin1String(labelId));
    return widget;
}

QLineEdit* field(const char* name, QWidget* parent) {
    auto* edit = named(new QLineEdit(parent), name, nullptr);
    edit->setReadOnly(true);
    edit->setFocusPolicy(Qt::NoFocus);
    return edit;
}
} // namespace

MainWindow::MainWindow(core::CoreFace& core, TraceLogWindow& traceLog, QWidget* parent)
    : QMainWindow(parent), m_core(core), m_traceLog(traceLog) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(common::ApplicationTitle());
    setWindowIcon(AppIcon());
    // A fixed size: no maximising; minimising stays.
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    buildControls();
    buildMenus();
    m_refresh.setSingleShot(true);
    m_refresh.setInterval(REFRESH_MS);
    connect(&m_refresh, &QTimer::timeout, this, &MainWindow::refresh);
    fixSize();
}

void MainWindow::buildControls() {
    auto* central = new QWidget(this);
    auto* status = named(new QGroupBox(QStringLiteral("Server Status"), central), "frmStatus",
                         "frmServerStatus");
    txtServerStatus = field("txtServerStatus", status);
    txtServerStatus->setText(QStringLiteral("The server is running on port 80"));
    txtServerStatus->setMinimumWidth(300);
    txtDebugMode = field("txtDebugMode", status);
    txtRequests = field("txtRequests", status);
    auto* statusLayout = new QGridLayout(status);
    const std::tuple<const char*, const char*, const char*, QLineEdit*> rows[] = {
        {"lblStatus", "Server Status:", "lblServerStatus", txtServerStatus},
        {"lblDebugging", "Debugging:", "lblDebugging", txtDebugMode},
        {"lblRequests", "Requests:", "lblRequests", txtRequests},
    };
    int row = 0;
    for (const auto& [name, text, labelId, edit] : rows) {
        statusLayout->addWidget(named(new QLabel(QLatin1String(text), status), name, labelId), row,
                                0);
        statusLayout->addWidget(edit, row++, 1);
    }

    auto* information = named(new QGroupBox(QStringLiteral("Information"), central),
                              "frmInformation", "frmInformation");
    auto* picture = new QLabel(information);
    picture->setPixmap(AppIcon().pixmap(48, 48));
    lblClientLink = named(new LinkLabel(information), "lblClientLink", "lblClickBrowseWeb");
    lblClientLink->setText(QStringLiteral("Click here to browse the web site"));
    lblAdminLink = named(new LinkLabel(information), "lblAdminLink", "lblClickBrowseAdm");
    lblAdminLink->setText(QStringLiteral("Click here to browse the administration site"));
    // Hidden until the server listens; they keep their place meanwhile.
    for (QLabel* link : {static_cast<QLabel*>(lblClientLink), static_cast<QLabel*>(lblAdminLink)}) {
        QSizePolicy keep = link->sizePolicy();
        keep.setRetainSizeWhenHidden(true);
        link->setSizePolicy(keep);
        link->hide();
    }
    lblProductName = named(new QLabel(QStringLiteral("Quorvex - Server"), information),
                           "lblProductName", nullptr);
    QFont bold = lblProductName->font();
    bold.setBold(true);
    lblProductName->setFont(bold);
    lblVersion =
        named(new QLabel(QStringLiteral("Version 1.0.0"), information), "lblVersion", nullptr);
    auto* informationLayout = new QGridLayout(information);
    informationLayout->addWidget(picture, 0, 0, 4, 1, Qt::AlignTop);
    informationLayout->addWidget(lblClientLink, 0, 1);
    informationLayout->addWidget(lblAdminLink, 1, 1);
    informationLayout->addWidget(lblProductName, 2, 1);
    informationLayout->addWidget(lblVersion, 3, 1);
    informationLayout->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(central);
    layout->addWidget(status);
    layout->addWidget(information);
    setCentralWidget(central);

    connect(lblClientLink, &LinkLabel::clicked, this,
            [this] { m_core.runCommand([this] { m_core.LinkWebSite(); }); });
    // Visible only while the listener runs, so the server's state is not looked at.
    connect(lblAdminLink, &LinkLabel::clicked, this,
            [this] { m_core.runCommand([this] { m_core.ShowAdminPage(); }); });
}

QAction* MainWindow::addEntry(QMenu* menu, const char* name, const char* text,
                              const char* labelId) {
    QAction* action = menu->addAction(QLatin1String(text));
    action->setObjectName(QLatin1String(name));
    action->setProperty("labelId", QLatin1String(labelId));
    return action;
}

void MainWindow::buildMenus() {
    const auto menu = [this](const char* name, const char* text, const char* labelId) {
        QMenu* m = menuBar()->addMenu(QLatin1String(text));
        m->setObjectName(QLatin1String(name));
        m->menuAction()->setObjectName(QLatin1String(name));
        m->menuAction()->setProperty("labelId", QLatin1String(labelId));
        return m;
    };
    const auto on = [this](QAction* action, auto command) {
        connect(action, &QAction::triggered, this, [this, command] { m_core.runCommand(command); });
    };
    QMenu* file = menu("mnuFile", "&File", "mnuFile");
    on(addEntry(file, "mnuFileExit", "E&xit", "mnuExit"), [this] { close(); });

    QMenu* links = menu("mnuLinks", "&Links", "mnuLinks");
    on(addEntry(links, "mnuLinksWebSite", "&Web Site", "mnuLinkWeb"),
       [this] { m_core.LinkWebSite(); });
    on(addEntry(links, "mnuLinksAdministration", "&Administration", "mnuLinkAdm"),
       [this] { m_core.LinkAdministration(); });

    QMenu* tools = menu("mnuTools", "&Tools", "mnuTools");
    on(addEntry(tools, "mnuServerSettings", "&Web Server Settings...", "mnuSettings"),
       [this] { showSettingsOrRestarting(); });
    on(addEntry(tools, "mnuDataConnectionSettings", "&Data Connection Settings...",
                "mnuDataConnectionSettings"),
       [this] { m_core.ShowDataConnectionSettings(); });
    tools->addSeparator()->setObjectName(QStringLiteral("mnuToolsSep1"));
    on(addEntry(tools, "mnuTraceLog", "&Trace Log...", "mnuTraceLog"),
       [this] { m_traceLog.showFromMenu(); });

    QMenu* help = menu("mnuHelp", "&Help", "mnuHelp");
    on(addEntry(help, "mnuHelpContents", "&Contents...", "mnuHelpContents"),
       [this] { m_core.ShowHelp(QString()); });
    help->addSeparator()->setObjectName(QStringLiteral("mnuHelpSep2"));
    on(addEntry(help, "mnuHelpAbout", "&About", "mnuAbout"), [this] { showAbout(); });
}

void MainWindow::showSettingsOrRestarting() {
    if (m_core.windowState().serverStarted) {
        m_core.ShowSettings();
        return;
    }
    // Shown directly, hidden run or not, and not traced.
    ShowMessageBox(this, QStringLiteral("The server is restarting. Please wait."),
                   common::MB_INFORMATION, QStringLiteral("Restarting"));
}

void MainWindow::showAbout() {
    AboutBox about(this);
    about.exec();
}

void MainWindow::applyTranslations() {
    const auto tr = [](const QObject* o) {
        return i18n::Translate(o->property("labelId").toString());
    };
    for (QWidget* widget : centralWidget()->findChildren<QWidget*>()) {
        if (!widget->property("labelId").isValid())
            continue;
        if (auto* box = qobject_cast<QGroupBox*>(widget))
            box->setTitle(tr(box));
        else if (auto* label = qobject_cast<QLabel*>(widget))
            label->setText(tr(label));
    }
    for (QAction* action : findChildren<QAction*>())
        if (action->property("labelId").isValid())
            action->setText(tr(action));
    // The title bar reads the product name.
    setWindowTitle(common::ProductName());
    lblProductName->setText(common::ProductName());
    fixSize();
}

// The design size, kept in the normal state; a translation with longer texts may widen it.
void MainWindow::fixSize() {
    centralWidget()->layout()->invalidate();
    m_designSize = m_designSize.expandedTo(sizeHint());
    setFixedSize(m_designSize);
}

void MainWindow::scheduleRefresh() {
    if (txtServerStatus->text() != m_core.windowState().statusText)
        refresh(); // a status is what start-up shows while it works: at once
    else if (!m_refresh.isActive())
        m_refresh.start();
}

void MainWindow::refresh() {
    m_refresh.stop();
    const core::WindowState& state = m_core.windowState();
    txtServerStatus->setText(state.statusText);
    txtRequests->setText(QString::number(state.totalRequests));
    txtDebugMode->setText(state.debugText);
    if (!state.versionText.isEmpty())
        lblVersion->setText(state.versionText);
    lblClientLink->setVisible(state.linksVisible);
    lblAdminLink->setVisible(state.linksVisible);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Closing the window is the orderly end of the program (nothing more once it has ended).
    m_core.CloseServer(core::EXIT_ORDERLY);
    event->accept();
}

} // namespace ui
