#include "i18n/language.h"

#include "common/error.h"
#include "common/files.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/version.h"
#include "common/xml.h"

#include <memory>

namespace i18n {

namespace {
// The program-wide translation, kept for the life of the program.
struct LanguageState {
    QString fileOverride;
    QString folderOverride;
    QString code;
    std::unique_ptr<pugi::xml_document> document;
};

LanguageState& state() {
    static LanguageState s;
    return s;
}

} // namespace

void SetLanguageOverrides(const QString& languageFileOverride,
                          const QString& languageFolderOverride) {
    state().fileOverride = languageFileOverride;
    state().folderOverride = languageFolderOverride;
}

QString LanguageFolder() {
    if (!state().folderOverride.isEmpty())
        return state().folderOverride;
    return common::ProgramFolder() + QStringLiteral("/language");
}

QString LanguageFilePath(const QString& code) {
    if (!state().fileOverride.isEmpty())
        return state().fileOverride;
    return LanguageFolder() + QLatin1Char('/') + code + QStringLiteral(".xml");
}

QString DefaultLanguage() {
    const QString key = QStringLiteral("HKLM\\Software\\Quorvex\\") +
                        QString::number(common::VERSION_MAJOR) +
                        QStringLiteral("\\DefaultLanguage");
    const QString code = common::ToText(common::CRegistry().RegRead(key));
    return code.isEmpty() ? QStringLiteral("en") : code;
}

void LoadLanguage(const QString& code) {
    state().code = code;
    const QString path = LanguageFilePath(code);
    auto document = std::make_unique<pugi::xml_document>();
    if (!common::LoadXmlFile(*document, path))
        throw common::Error(common::ERR_LANGUAGE,
                            QStringLiteral("Error loading language file: ") + path,
                            QStringLiteral("LoadLanguage"));
    state().document = std::move(document);
}

QString Translate(const QString& labelId, bool escapeXml, const common::Value& args) {
    const pugi::xml_node root = TranslationRoot();
    const QString xpath =
        QStringLiteral("Label[@id=") + common::XPathLiteral(labelId) + QLatin1Char(']');
    pugi::xml_node label;
    if (root)
        label = root.select_node(common::ToUtf8(xpath).c_str()).node();
    QString text;
    if (label)
        text = common::LabelText(common::NodeText(label, QStringLiteral(".")), args);
    else
        text = QStringLiteral("[Missing label: ") + labelId + QLatin1Char(']');
    return escapeXml ? common::XmlEscape(text) : text;
}

QString CurrentLanguageCode() {
    return state().code;
}

pugi::xml_node TranslationRoot() {
    return state().document ? state().document->document_element() : pugi::xml_node();
}

void UnloadLanguage() {
    state() = LanguageState();
}

} // namespace i18n
