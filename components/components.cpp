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
    for (const QString& name : SpreadsheetApplication::classNames())
        factory.registerClass(name,
                              [name] { return std::make_shared<SpreadsheetApplication>(name); });
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
