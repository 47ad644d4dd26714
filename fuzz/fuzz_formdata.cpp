// Form decoding: any text decodes without failing, into no more fields than
// it has pieces, each no longer than its raw text.
#include "bridge/formdata.h"
#include "common/codepage.h"
#include "common/dictionary.h"
#include "common/text.h"
#include "common/urldecode.h"

#include <cstdint>
#include <cstdlib>

namespace {
void check(bool condition) {
    if (!condition)
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = common::FromCodePage(
        QByteArrayView(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    const common::DictionaryPtr fields = bridge::ParseFormData(text);
    check(fields != nullptr);
    check(fields->count() <= text.count(QLatin1Char('&')) + 1);
    for (const QString& name : fields->keys()) {
        check(name.size() <= text.size());
        check(common::ToText(fields->item(name)).size() <= text.size());
    }
    const QString decoded = common::UrlDecode(text);
    check(decoded.size() <= text.size());
    check(!decoded.contains(QLatin1Char('+')) || text.contains(QLatin1Char('%')));
    return 0;
}
