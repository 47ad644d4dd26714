#include "webappapi/webapplication.h"

#include "common/text.h"
#include "webappapi/answertext.h"

namespace bridge {

common::Response WebApplication::Answer(common::DictionaryPtr& context) {
    return ResponseFromText(common::ToText(ProcessRequest(context)));
}

} // namespace bridge
