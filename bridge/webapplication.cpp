#include "bridge/webapplication.h"

#include "bridge/answertext.h"
#include "common/text.h"

namespace bridge {

common::Response WebApplication::Answer(common::DictionaryPtr& context) {
    return ResponseFromText(common::ToText(ProcessRequest(context)));
}

} // namespace bridge
