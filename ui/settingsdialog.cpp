#include "ui/settingsdialog.h"

#include "core/settingsform.h"
#include "i18n/language.h"
#include "ui/appicon.h"
#include "ui/filepicker.h"
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

// A box's label, named like its label id. The box is its buddy, which also names the box
// to screen readers.
QLabel* fieldLabel(const char* labelId, QWidget* box) {
    auto* label = named(new QLabel(box->parentWidget()), labelId, labelId);
    label->setBuddy(box);
    return label;
}

QPushButton* browseButton(const char* name, const char* toolTipId, QWidget* parent) {
    return named(new QPushButton(QStringLiteral("..."), parent), name, toolTipId);
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
    portRow->addWidget(fieldLabel("lblTCPPort", txtPortNo));
    portRow->addWidget(txtPortNo);
    portRow->addWidget(scanButton);
    portRow->addStretch();
    txtTrustedProxies = named(new QLineEdit(network), "txtTrustedProxies", nullptr);
    auto* proxiesRow = new QHBoxLayout;
    proxiesRow->addWidget(fieldLabel("lblTrustedProxies", txtTrustedProxies));
    proxiesRow->addWidget(txtTrustedProxies, 1);
    auto* networkLayout = new QVBoxLayout(network);
    networkLayout->addWidget(note("lblNetworkNote", "lblNetworkNote", network));
    networkLayout->addLayout(portRow);
    networkLayout->addWidget(note("lblTrustedProxiesNote", "lblTrustedProxiesNote", network));
    networkLayout->addLayout(proxiesRow);

    QWidget* https = makeHttpsGroup();

    auto* webApp = named(new QGroupBox(this), "frmWebApp", "frmWebApp");
    txtApplicationFolder = named(new QLineEdit(webApp), "txtApplicationFolder", nullptr);
    txtApplicationFolder->setMinimumWidth(320);
    auto* folderButton = browseButton("cmdBrowse", "btnWebAppBrowseToolTip", webApp);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(fieldLabel("lblWebAppFolder", txtApplicationFolder));
    folderRow->addWidget(txtApplicationFolder, 1);
    folderRow->addWidget(folderButton);
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
    layout->addWidget(https);
    layout->addWidget(webApp);
    layout->addWidget(debugging);
    layout->addLayout(buttons);

    connect(okButton, &QPushButton::clicked, this, &SettingsDialog::confirm);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(scanButton, &QPushButton::clicked, this, &SettingsDialog::scan);
    connect(folderButton, &QPushButton::clicked, this, &SettingsDialog::browse);
    connect(cmdHelp, &QPushButton::clicked, this,
            [this] { m_showHelp(cmdHelp->property("tag").toString()); });

    translate();
    const core::SettingsFormValues values = m_form.load();
    txtPortNo->setText(values.portText);
    txtApplicationFolder->setText(values.applicationFolder);
    chkDebug->setChecked(values.debugMode);
    txtTrustedProxies->setText(values.trustedProxies);
    chkHttpsEnabled->setChecked(values.httpsEnabled);
    httpsFields->setEnabled(values.httpsEnabled);
    txtHttpsPort->setText(values.httpsPortText);
    txtHttpsCertificate->setText(values.httpsCertificate);
    txtHttpsKey->setText(values.httpsKey);
    chkHttpsRedirect->setChecked(values.httpRedirect);
    txtHstsMaxAge->setText(values.hstsMaxAgeText);
}

// Made in the order of its boxes, which is their keyboard order.
QWidget* SettingsDialog::makeHttpsGroup() {
    auto* https = named(new QGroupBox(this), "frmHttps", "frmHttps");
    chkHttpsEnabled = named(new QCheckBox(https), "chkHttpsEnabled", "chkHttpsEnabled");
    httpsFields = named(new QWidget(https), "httpsFields", nullptr);
    txtHttpsPort = named(new QLineEdit(httpsFields), "txtHttpsPort", nullptr);
    txtHttpsCertificate = named(new QLineEdit(httpsFields), "txtHttpsCertificate", nullptr);
    auto* certificateButton =
        browseButton("cmdBrowseCertificate", "btnHttpsCertificateBrowseToolTip", httpsFields);
    txtHttpsKey = named(new QLineEdit(httpsFields), "txtHttpsKey", nullptr);
    auto* keyButton = browseButton("cmdBrowseKey", "btnHttpsKeyBrowseToolTip", httpsFields);
    chkHttpsRedirect = named(new QCheckBox(httpsFields), "chkHttpsRedirect", "chkHttpsRedirect");
    txtHstsMaxAge = named(new QLineEdit(httpsFields), "txtHstsMaxAge", nullptr);

    auto* fields = new QGridLayout(httpsFields);
    fields->setContentsMargins(0, 0, 0, 0);
    const auto addRow = [fields](QLabel* label, QWidget* box, QWidget* button) {
        const int row = fields->rowCount();
        fields->addWidget(label, row, 0);
        fields->addWidget(box, row, 1, button ? Qt::Alignment() : Qt::AlignLeft);
        if (button)
            fields->addWidget(button, row, 2);
    };
    const auto addWide = [fields](QWidget* widget) {
        fields->addWidget(widget, fields->rowCount(), 0, 1, 3);
    };
    addRow(fieldLabel("lblHttpsPort", txtHttpsPort), txtHttpsPort, nullptr);
    addWide(note("lblHttpsCertificateNote", "lblHttpsCertificateNote", httpsFields));
    addRow(fieldLabel("lblHttpsCertificate", txtHttpsCertificate), txtHttpsCertificate,
           certificateButton);
    addRow(fieldLabel("lblHttpsKey", txtHttpsKey), txtHttpsKey, keyButton);
    addWide(chkHttpsRedirect);
    addWide(note("lblHttpsHstsNote", "lblHttpsHstsNote", httpsFields));
    addRow(fieldLabel("lblHttpsHstsMaxAge", txtHstsMaxAge), txtHstsMaxAge, nullptr);
    fields->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(https);
    layout->addWidget(chkHttpsEnabled);
    layout->addWidget(httpsFields);

    connect(chkHttpsEnabled, &QCheckBox::toggled, httpsFields, &QWidget::setEnabled);
    connect(certificateButton, &QPushButton::clicked, this,
            [this] { browseFile(txtHttpsCertificate, "lblHttpsCertificate"); });
    connect(keyButton, &QPushButton::clicked, this,
            [this] { browseFile(txtHttpsKey, "lblHttpsKey"); });
    return https;
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
        else if (widget->objectName().startsWith(QLatin1String("cmdBrowse")))
            widget->setToolTip(tr(id));
        else if (auto* label = qobject_cast<QLabel*>(widget))
            // The field labels get their colon after the translation.
            label->setText(tr(id) + (label->wordWrap() ? QString() : QStringLiteral(":")));
        else if (auto* button = qobject_cast<QAbstractButton*>(widget))
            button->setText(tr(id));
    }
}

void SettingsDialog::confirm() {
    if (m_form.confirm({.portText = txtPortNo->text(),
                        .applicationFolder = txtApplicationFolder->text(),
                        .debugMode = chkDebug->isChecked(),
                        .trustedProxies = txtTrustedProxies->text(),
                        .httpsEnabled = chkHttpsEnabled->isChecked(),
                        .httpsPortText = txtHttpsPort->text(),
                        .httpsCertificate = txtHttpsCertificate->text(),
                        .httpsKey = txtHttpsKey->text(),
                        .httpRedirect = chkHttpsRedirect->isChecked(),
                        .hstsMaxAgeText = txtHstsMaxAge->text()}))
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

void SettingsDialog::browseFile(QLineEdit* box, const char* titleId) {
    const QStringList filters = {i18n::Translate(QStringLiteral("lblHttpsPemFiles")) +
                                     QStringLiteral(" (*.pem *.crt *.cer *.key)"),
                                 i18n::Translate(QStringLiteral("lblHttpsAllFiles")) +
                                     QStringLiteral(" (*)")};
    QString chosen;
    if (BrowseForFile(this, i18n::Translate(QLatin1String(titleId)),
                      m_form.fileBrowseStart(box->text()), filters, chosen))
        box->setText(chosen);
}

void SettingsDialog::done(int result) {
    m_form.close(txtPortNo->text());
    QDialog::done(result);
}

} // namespace ui
