#include "components/components.h"

#include "common/objectfactory.h"
#include "components/filesystemobject.h"
#include "components/queue.h"
#include "components/regexp.h"
#include "components/spreadsheetapplication.h"

namespace components {

namespace {
template <typename T> void registerPlain(common::ObjectFactory& factory) {
    factory.registerClass(T::CLASS_NAME, [] { return std::make_shared<T>(); });
}

void registerSpreadsheet(common::ObjectFactory& factory) {
    const QString program = SpreadsheetApplication::findProgram();
    for (const QString& name : SpreadsheetApplication::classNames()) {
        if (program.isEmpty()) {
            factory.removeClass(name);
            continue;
        }
        factory.registerClass(name, [name, program] {
            return std::make_shared<SpreadsheetApplication>(name, program);
        });
    }
}
} // namespace

void RegisterComponents() {
    auto& factory = common::ObjectFactory::instance();
    registerPlain<Queue>(factory);
    registerPlain<FileSystemObject>(factory);
    registerPlain<RegExp>(factory);
    registerSpreadsheet(factory);
}

} // namespace components
