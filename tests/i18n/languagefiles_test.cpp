#include "common/xml.h"
#include "i18n/language.h"
#include "tests/support/qtprinters.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <map>
#include <set>

namespace {
// Every label the web server asks for; those it fills in have their placeholders listed.
const QStringList PROGRAM_LABELS =
    QStringLiteral(
        "frmServerStatus lblServerStatus lblDebugging lblRequests frmInformation "
        "lblClickBrowseWeb lblClickBrowseAdm lblVersion On Off mnuFile mnuExit mnuLinks "
        "mnuLinkWeb mnuLinkAdm mnuTools mnuSettings mnuDataConnectionSettings mnuTraceLog "
        "mnuHelp mnuHelpContents mnuAbout msgServerNotStarted msgServerRunning msgPortInUse "
        "msgStartDataServer msgConnectDBError msgInvalidAppFolder msgMissingAppElements "
        "HomePageText wndServerSettings frmNetwork lblNetworkNote lblTCPPort btnScanPorts "
        "lblTrustedProxiesNote lblTrustedProxies "
        "frmHttps chkHttpsEnabled lblHttpsPort lblHttpsCertificateNote lblHttpsCertificate "
        "btnHttpsCertificateBrowseToolTip lblHttpsKey btnHttpsKeyBrowseToolTip lblHttpsPemFiles "
        "lblHttpsAllFiles chkHttpsRedirect lblHttpsHstsNote lblHttpsHstsMaxAge "
        "msgHttpsPortInvalid msgHttpsPortSameAsHttp msgHttpsCertificateAndKey msgHttpsHstsInvalid "
        "frmWebApp lblWebAppNote lblWebAppFolder btnWebAppBrowseToolTip frmDebugging "
        "lblDebuggingNote chkDebug btnOK btnCancel btnHelp msgPortOk NoPort wndTraceLog "
        "btnClose btnClear btnCloseTip btnClearTip btnHelpTip lvTime lvDescription lvInfo")
        .split(' ');
const std::map<QString, QStringList> PLACEHOLDERS = {
    {"msgServerRunning", {"{Port}"}},
    {"msgPortInUse", {"{Port}"}},
    {"msgMissingAppElements", {"{AppPath}"}},
    {"HomePageText", {"{HomePageFile}", "{ProductName}"}},
    {"msgPortOk", {"{Port}"}}};

QString languageFolder() {
    const QString staged = qEnvironmentVariable("QV_STAGE_DIR");
    if (!staged.isEmpty() && QDir(staged + "/language").exists())
        return staged + "/language";
    return QStringLiteral(QV_SOURCE_DIR) + "/dist/language";
}

QStringList placeholders(const QString& text) {
    static const QRegularExpression braces("\\{[A-Za-z]+\\}");
    std::set<QString> found;
    for (const auto& m : braces.globalMatch(text))
        found.insert(m.captured());
    return QStringList(found.begin(), found.end());
}

class ShippedLanguage : public ::testing::TestWithParam<const char*> {
protected:
    void TearDown() override { i18n::UnloadLanguage(); }
};
} // namespace

TEST_P(ShippedLanguage, HasEveryLabelWithItsPlaceholdersOnce) {
    i18n::SetLanguageOverrides({}, languageFolder());
    i18n::LoadLanguage(GetParam());
    for (const QString& id : PROGRAM_LABELS) {
        const QString text = i18n::Translate(id);
        EXPECT_FALSE(text.startsWith("[Missing label:")) << id.toStdString();
        EXPECT_FALSE(text.trimmed().isEmpty()) << id.toStdString();
        const auto wanted = PLACEHOLDERS.find(id);
        EXPECT_EQ(placeholders(text), wanted == PLACEHOLDERS.end() ? QStringList() : wanted->second)
            << id.toStdString();
    }
    // One Label per id: a duplicate would silently hide its second text.
    std::set<QString> seen;
    for (const auto& label : i18n::TranslationRoot().children("Label"))
        EXPECT_TRUE(seen.insert(common::ToQString(label.attribute("id").value())).second)
            << label.attribute("id").value();
}

// Every page text the web application asks for by a fixed id (its sources, the example
// application's forms) is in every language, so no page of any language shows a missing label.
TEST_P(ShippedLanguage, HasEveryLabelOfTheWebApplication) {
    i18n::SetLanguageOverrides({}, languageFolder());
    i18n::LoadLanguage(GetParam());
    const QString source = QStringLiteral(QV_SOURCE_DIR);
    static const QRegularExpression inCode("\"(web[A-Z][A-Za-z]*)\"(?!\\) \\+)");
    static const QRegularExpression inForm("label=\"(web[A-Za-z]+)\"");
    std::set<QString> ids;
    const auto collect = [&](const QString& folder, const QString& pattern,
                             const QRegularExpression& id) {
        // webapp/ keeps its sources in groups (pages/, rendering/...): every folder below counts.
        QDirIterator files(folder, {pattern}, QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile file(files.next());
            EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
            for (const auto& m : id.globalMatch(QString::fromUtf8(file.readAll())))
                ids.insert(m.captured(1));
        }
    };
    collect(source + "/webapp", "*.cpp", inCode);
    collect(source + "/dist/examples/microsoft access/forms", "*.xml", inForm);
    EXPECT_GT(ids.size(), 100u);
    for (const QString& id : ids)
        EXPECT_FALSE(i18n::Translate(id).startsWith("[Missing label:")) << id.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Languages, ShippedLanguage, ::testing::Values("en", "de"));
