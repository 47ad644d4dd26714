#include "common/objectfactory.h"

#include "common/dictionary.h"
#include "common/error.h"

namespace common {

namespace {
const QString VANTORI_DICTIONARY = QStringLiteral("Vantori.Dictionary");
const QString HALVIK_DICTIONARY = QStringLiteral("Halvik.Dictionary");

DictionaryPtr asDictionary(const ObjectPtr& o) {
    return std::dynamic_pointer_cast<Dictionary>(o);
}
} // namespace

ObjectFactory::ObjectFactory() {
    // The dictionaries are part of the program itself; other components
    // register themselves (components::RegisterComponents).
    registerClass(VANTORI_DICTIONARY, []() -> ObjectPtr {
        return std::make_shared<Dictionary>(VANTORI_DICTIONARY, Dictionary::Keys::CaseSensitive);
    });
    registerClass(HALVIK_DICTIONARY, []() -> ObjectPtr {
        return std::make_shared<Dictionary>(HALVIK_DICTIONARY, Dictionary::Keys::CaseInsensitive);
    });
}

ObjectFactory& ObjectFactory::instance() {
    static ObjectFactory factory;
    return factory;
}

void ObjectFactory::registerClass(const QString& className, Constructor ctor) {
    const std::unique_lock lock(m_lock);
    m_table.insert(className.toLower(), std::move(ctor));
}

void ObjectFactory::removeClass(const QString& className) {
    const std::unique_lock lock(m_lock);
    m_table.remove(className.toLower());
}

bool ObjectFactory::hasClass(const QString& className) const {
    const std::shared_lock lock(m_lock);
    return m_table.contains(className.toLower());
}

ObjectPtr ObjectFactory::create(const QString& className) const {
    Constructor make;
    {
        const std::shared_lock lock(m_lock);
        const auto it = m_table.constFind(className.toLower());
        if (it != m_table.constEnd())
            make = *it;
    }
    // Made outside the lock: a constructor may itself create components.
    if (!make)
        throw Error(ERR_CANNOT_CREATE, QStringLiteral("Error creating object: ") + className);
    return make();
}

ObjectPtr CreateObjectByName(const QString& className) {
    return ObjectFactory::instance().create(className);
}

DictionaryPtr NewDictionary() {
    return asDictionary(CreateObjectByName(VANTORI_DICTIONARY));
}

DictionaryPtr NewHalvikDictionary() {
    return asDictionary(CreateObjectByName(HALVIK_DICTIONARY));
}

} // namespace common
