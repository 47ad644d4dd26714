#include "webapp/requestcontext.h"

#include "common/codepage.h"
#include "common/text.h"
#include "webappapi/contextkeys.h"

#include <QStringDecoder>

namespace webapp {

namespace {
const QString& SERVER_VARIABLES = bridge::keys::SERVER_VARIABLES;
}

QString FromWire(const QString& text) {
    // Stateless: a sequence cut off at the end is an error, not kept for a next call that
    // never comes; an initial byte-order mark is text like any other.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    return decoder(common::ToCodePage(text));
}

bool IsUtf8OnWire(const QString& text) {
    return common::ToCodePage(text).isValidUtf8();
}

QString ToWire(const QString& text) {
    return common::FromCodePage(text.toUtf8());
}

RequestContext::RequestContext(common::DictionaryPtr context, bridge::ApplicationSettings settings)
    : m_context(std::move(context)), m_settings(std::move(settings)) {}

common::DictionaryPtr RequestContext::dictionary(const common::DictionaryPtr& in,
                                                 const QString& key) {
    if (!in)
        return {};
    const common::Value v = in->item(key);
    return v.isDictionary() ? v.dictionary() : common::DictionaryPtr();
}

QString RequestContext::field(const QString& name) const {
    const common::DictionaryPtr fields = request();
    if (!fields || name == SERVER_VARIABLES)
        return {};
    return FromWire(common::ToText(fields->item(ToWire(name))));
}

bool RequestContext::hasField(const QString& name) const {
    const common::DictionaryPtr fields = request();
    return fields && name != SERVER_VARIABLES && fields->Exists(ToWire(name));
}

bool RequestContext::fieldIsUtf8(const QString& name) const {
    const common::DictionaryPtr fields = request();
    return !fields || name == SERVER_VARIABLES ||
           IsUtf8OnWire(common::ToText(fields->item(ToWire(name))));
}

QStringList RequestContext::fieldNames() const {
    QStringList names;
    if (const common::DictionaryPtr fields = request())
        for (const QString& key : fields->keys())
            if (key != SERVER_VARIABLES)
                names.append(FromWire(key));
    return names;
}

QList<QPair<QString, QString>> RequestContext::wireFields() const {
    QList<QPair<QString, QString>> fields;
    if (const common::DictionaryPtr request = this->request())
        for (const QString& key : request->keys())
            if (key != SERVER_VARIABLES)
                fields.append({key, common::ToText(request->item(key))});
    return fields;
}

QString RequestContext::serverVariable(const QString& name) const {
    const common::DictionaryPtr variables = dictionary(request(), SERVER_VARIABLES);
    return variables ? common::ToText(variables->item(name)) : QString();
}

common::Value RequestContext::value(const QString& key) const {
    return m_context ? m_context->item(key) : common::Value();
}

QString RequestContext::text(const QString& key) const {
    return common::ToText(value(key));
}

bool RequestContext::truthy(const common::Value& v) {
    if (v.isBool())
        return v.boolean();
    return common::ToLong(v) != 0 ||
           common::ToText(v).compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}

bool RequestContext::flag(const QString& key) const {
    return truthy(value(key));
}

QString RequestContext::applicationSubfolder(const QString& name) const {
    const QString folder = applicationFolder();
    return folder.isEmpty() ? QString() : folder + QLatin1Char('/') + name;
}

void RequestContext::setRedirect(const QString& address) {
    if (m_context)
        m_context->setItem(bridge::keys::REDIRECT, address);
}

void RequestContext::setCookies(const QStringList& cookies) {
    if (m_context)
        m_context->setItem(bridge::keys::SET_COOKIE, cookies.join(QLatin1Char('\n')));
}

} // namespace webapp
