#pragma once

#include "common/dictionary.h"
#include "common/value.h"
#include "webappapi/contextkeys.h"
#include "webappapi/webapplicationservice.h"

#include <QString>
#include <QStringList>

namespace webapp {

// Text of the wire (one character per byte, as the web server decodes it) as the UTF-8 the
// pages ask browsers to send. Bytes that are not UTF-8 (a character cut off at the end too)
// become U+FFFD, so that nothing is ever dropped unseen; IsUtf8OnWire tells them apart.
QString FromWire(const QString& text);
bool IsUtf8OnWire(const QString& text);
// The reverse: a text as the one-character-per-byte form the web server reads and sends.
QString ToWire(const QString& text);

// Forgiving read access to the context of one request: a missing or mistyped entry reads
// as empty text, 0 or false, never as an error. What the configuration fixes (the
// application folder, the address prefix) comes typed from settings.
class RequestContext final {
public:
    RequestContext(common::DictionaryPtr context, bridge::ApplicationSettings settings);

    // A form field of the request (query string for GET, body for POST), decoded.
    QString field(const QString& name) const;
    bool hasField(const QString& name) const;
    // Whether the field's value came as UTF-8 text (a missing field did).
    bool fieldIsUtf8(const QString& name) const;
    // Names of all form fields, decoded, in the order they came.
    QStringList fieldNames() const;
    // All form fields as they came on the wire (name, value), in order.
    QList<QPair<QString, QString>> wireFields() const;
    QString serverVariable(const QString& name) const;

    // Entries of the context itself and of its "Application" and "Server" Dictionaries.
    QString text(const QString& key) const;
    bool flag(const QString& key) const;
    common::Value value(const QString& key) const;
    common::DictionaryPtr application() const {
        return dictionary(m_context, bridge::keys::APPLICATION);
    }
    common::DictionaryPtr server() const { return dictionary(m_context, bridge::keys::SERVER); }
    QString applicationFolder() const { return m_settings.applicationFolder; }
    // A folder of the application folder ("pages", "forms"); "" when no application folder
    // is set, so that nothing is ever read relative to the current folder.
    QString applicationSubfolder(const QString& name) const;
    // The path prefix of the web application's addresses ("" for "/").
    QString root() const { return m_settings.urlPrefix; }
    const bridge::ApplicationSettings& settings() const { return m_settings; }

    void setRedirect(const QString& address);
    // The Set-Cookie values the web server is to send with the answer.
    void setCookies(const QStringList& cookies);
    // Whether the request came over HTTPS.
    bool secure() const {
        return serverVariable(QStringLiteral("HTTPS"))
                   .compare(QLatin1String("on"), Qt::CaseInsensitive) == 0;
    }

    // true, a non-zero number or the text "True" (any case).
    static bool truthy(const common::Value& v);
    static common::DictionaryPtr dictionary(const common::DictionaryPtr& in, const QString& key);

private:
    common::DictionaryPtr request() const { return dictionary(m_context, bridge::keys::REQUEST); }

    common::DictionaryPtr m_context;
    bridge::ApplicationSettings m_settings;
};

} // namespace webapp
