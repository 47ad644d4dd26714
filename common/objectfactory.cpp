#include "common/objectfactory.h"

#include "common/dictionary.h"
#include "common/error.h"

namespace common {

namespace {
const QString VANTORI_DICTIONARY = QStringLiteral("Vantori.Dictionary");
const QString HALVIK_DICTIONARY = QStringLiteral("Halvik.Dictionary");

} // namespace

ObjectFactory::ObjectFactory() {
    // The dictionaries are part of the program itself; other components
    // register themselves (components::RegisterComponents).
    registerClass(VANTORI_DICTIONARY, []() -> ObjectPtr { return NewDictionary(); });
    registerClass(HALVIK_DICTIONARY, []() -> ObjectPtr { return NewHalvikDictionary(); });
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

// The program's own classes are made directly: a page makes a dozen Dictionaries, and the
// factory's shared lock and lower-cased name cost more than the Dictionary itself.
DictionaryPtr NewDictionary() {
    return std::make_shared<Dictionary>(VANTORI_DICTIONARY, Dictionary::Keys::CaseSensitive);
}

DictionaryPtr NewHalvikDictionary() {
    return std::make_shared<Dictionary>(HALVIK_DICTIONARY, Dictionary::Keys::CaseInsensitive);
}

} // namespace common
