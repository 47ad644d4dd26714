#include "bridge/formdata.h"

#include "common/dictionary.h"
#include "common/objectfactory.h"
#include "common/urldecode.h"

namespace bridge {

common::DictionaryPtr ParseFormData(const QString& text) {
    common::DictionaryPtr fields = common::NewDictionary();
    if (text.isEmpty())
        return fields;
    const QStringList pieces = text.split(QLatin1Char('&'));
    for (const QString& piece : pieces) {
        const QStringList parts = piece.split(QLatin1Char('='));
        const QString name = common::UrlDecode(parts.at(0));
        const QString value = parts.size() >= 2 ? common::UrlDecode(parts.at(1)) : QString();
        fields->Add(name, value);
    }
    return fields;
}

} // namespace bridge
