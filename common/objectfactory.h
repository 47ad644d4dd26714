#pragma once

#include "common/component.h"
#include "common/value.h"

#include <QHash>
#include <QString>
#include <functional>
#include <shared_mutex>

namespace common {

// Every component is created by class name through this one table of
// constructors. Class names compare without regard to case. Tests may remove
// or replace a class to see what happens when a component is missing.
// Any thread may create; registering takes the table's lock for writing.
class ObjectFactory final {
public:
    using Constructor = std::function<ObjectPtr()>;

    static ObjectFactory& instance();

    void registerClass(const QString& className, Constructor ctor);
    void removeClass(const QString& className);
    bool hasClass(const QString& className) const;

    // Raises 429 "Error creating object: <name>" when nothing is registered.
    ObjectPtr create(const QString& className) const;

private:
    ObjectFactory();
    mutable std::shared_mutex m_lock;
    QHash<QString, Constructor> m_table; // lower-case name -> constructor
};

ObjectPtr CreateObjectByName(const QString& className);

// A new, empty Dictionary of the class "Vantori.Dictionary" (case-sensitive keys).
DictionaryPtr NewDictionary();
// A new, empty Dictionary of the class "Halvik.Dictionary" (case-insensitive keys).
DictionaryPtr NewHalvikDictionary();

} // namespace common
