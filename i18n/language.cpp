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

// "\\" is one backslash and "\n" a line break, read left to right, so that
// "\\n" stays a backslash followed by the letter n.
QString unescape(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const QChar next = i + 1 < text.size() ? text.at(i + 1) : QChar();
        if (c == QLatin1Char('\\') && next == QLatin1Char('\\')) {
            out += QLatin1Char('\\');
            ++i;
        } else if (c == QLatin1Char('\\') && next == QLatin1Char('n')) {
            out += QStringLiteral("\r\n");
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

QString replaceArguments(QString text, const common::Value& args) {
    if (args.isEmpty())
        return text;
    const common::Value::Array list = args.isArray() ? args.array() : common::Value::Array{args};
    for (size_t i = 0; i < list.size(); ++i)
        text.replace(QLatin1Char('%') + QString::number(i + 1), common::ToText(list[i]));
    return text;
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
        text = replaceArguments(unescape(common::NodeText(label, QStringLiteral("."))), args);
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
