#include "ui/settingsdialog.h"

#include "core/settingsform.h"
#include "i18n/language.h"
#include "ui/appicon.h"
#include "ui/folderpicker.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace ui {

namespace {
// The help context the Help button's tag holds.
const char* const HELP_CONTEXT = "ServerSettings";

template <typename Widget> Widget* named(Widget* widget, const char* name, const char* labelId) {
    widget->setObjectName(QLatin1String(name));
    if (labelId)
        widget->setProperty("labelId", QLatin1String(labelId));
    return widget;
}

QLabel* note(const char* name, const char* labelId, QWidget* parent) {
    auto* label = named(new QLabel(parent), name, labelId);
    label->setWordWrap(true);
    return label;
}
} // namespace

SettingsDialog::SettingsDialog(core::SettingsForm& form,
                               std::function<void(const QString&)> showHelp, QWidget* parent)
    : QDialog(parent), m_form(form), m_showHelp(std::move(showHelp)) {
    setObjectName(QStringLiteral("frmServerSettings"));
    setProperty("labelId", QStringLiteral("wndServerSettings"));
    setWindowIcon(AppIcon());
    setModal(true);

    auto* network = named(new QGroupBox(this), "frmNetwork", "frmNetwork");
    txtPortNo = named(new QLineEdit(network), "txtPortNo", nullptr);
    auto* scanButton = named(new QPushButton(network), "cmdScanPorts", "btnScanPorts");
    auto* portRow = new QHBoxLayout;
    portRow->addWidget(named(new QLabel(network), "lblTCPPort", "lblTCPPort"));
    portRow->addWidget(txtPortNo);
    portRow->addWidget(scanButton);
    portRow->addStretch();
    txtTrustedProxies = named(new QLineEdit(network), "txtTrustedProxies", nullptr);
    auto* proxiesRow = new QHBoxLayout;
    proxiesRow->addWidget(named(new QLabel(network), "lblTrustedProxies", "lblTrustedProxies"));
    proxiesRow->addWidget(txtTrustedProxies, 1);
    auto* networkLayout = new QVBoxLayout(network);
    networkLayout->addWidget(note("lblNetworkNote", "lblNetworkNote", network));
    networkLayout->addLayout(portRow);
    networkLayout->addWidget(note("lblTrustedProxiesNote", "lblTrustedProxiesNote", network));
    networkLayout->addLayout(proxiesRow);

    auto* webApp = named(new QGroupBox(this), "frmWebApp", "frmWebApp");
    txtApplicationFolder = named(new QLineEdit(webApp), "txtApplicationFolder", nullptr);
    txtApplicationFolder->setMinimumWidth(320);
    auto* browseButton = named(new QPushButton(QStringLiteral("..."), webApp), "cmdBrowse",
                               "btnWebAppBrowseToolTip");
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(named(new QLabel(webApp), "lblWebAppFolder", "lblWebAppFolder"));
    folderRow->addWidget(txtApplicationFolder, 1);
    folderRow->addWidget(browseButton);
    auto* webAppLayout = new QVBoxLayout(webApp);
    webAppLayout->addWidget(note("lblWebAppNote", "lblWebAppNote", webApp));
    webAppLayout->addLayout(folderRow);

    auto* debugging = named(new QGroupBox(this), "frmDebugging", "frmDebugging");
    chkDebug = named(new QCheckBox(debugging), "chkDebug", "chkDebug");
    auto* debuggingLayout = new QVBoxLayout(debugging);
    debuggingLayout->addWidget(note("lblDebuggingNote", "lblDebuggingNote", debugging));
    debuggingLayout->addWidget(chkDebug);

    auto* okButton = named(new QPushButton(this), "cmdOk", "btnOK");
    auto* cancelButton = named(new QPushButton(this), "cmdCancel", "btnCancel");
    cmdHelp = named(new QPushButton(this), "cmdHelp", "btnHelp");
    cmdHelp->setProperty("tag", QLatin1String(HELP_CONTEXT));
    okButton->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    buttons->addWidget(cmdHelp);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(network);
    layout->addWidget(webApp);
    layout->addWidget(debugging);
    layout->addLayout(buttons);

    connect(okButton, &QPushButton::clicked, this, &SettingsDialog::confirm);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(scanButton, &QPushButton::clicked, this, &SettingsDialog::scan);
    connect(browseButton, &QPushButton::clicked, this, &SettingsDialog::browse);
    connect(cmdHelp, &QPushButton::clicked, this,
            [this] { m_showHelp(cmdHelp->property("tag").toString()); });

    translate();
    const core::SettingsFormValues values = m_form.load();
    txtPortNo->setText(values.portText);
    txtApplicationFolder->setText(values.applicationFolder);
    chkDebug->setChecked(values.debugMode);
    txtTrustedProxies->setText(values.trustedProxies);
}

void SettingsDialog::translate() {
    const auto tr = [](const QVariant& id) { return i18n::Translate(id.toString()); };
    setWindowTitle(tr(property("labelId")));
    for (QWidget* widget : findChildren<QWidget*>()) {
        const QVariant id = widget->property("labelId");
        if (!id.isValid())
            continue;
        if (auto* box = qobject_cast<QGroupBox*>(widget))
            box->setTitle(tr(id));
        else if (widget->objectName() == QLatin1String("cmdBrowse"))
            widget->setToolTip(tr(id));
        else if (auto* label = qobject_cast<QLabel*>(widget))
            // The two field labels get their colon after the translation.
            label->setText(tr(id) + (label->wordWrap() ? QString() : QStringLiteral(":")));
        else if (auto* button = qobject_cast<QAbstractButton*>(widget))
            button->setText(tr(id));
    }
}

void SettingsDialog::confirm() {
    if (m_form.confirm({txtPortNo->text(), txtApplicationFolder->text(), chkDebug->isChecked(),
                        txtTrustedProxies->text()}))
        accept();
}

void SettingsDialog::scan() {
    const int port = m_form.scan();
    if (port > 0)
        txtPortNo->setText(QString::number(port));
}

void SettingsDialog::browse() {
    QString chosen;
    // The picker's title is not translated.
    if (!BrowseForFolder(this, QStringLiteral("Application Folder"),
                         m_form.browseStart(txtApplicationFolder->text()), chosen))
        return;
    m_form.rememberBrowseFolder(chosen);
    txtApplicationFolder->setText(chosen);
}

void SettingsDialog::done(int result) {
    m_form.close(txtPortNo->text());
    QDialog::done(result);
}

} // namespace ui
