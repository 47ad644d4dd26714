#pragma once

#include "common/component.h"

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <memory>
#include <variant>
#include <vector>

namespace common {

class Dictionary;
using DictionaryPtr = std::shared_ptr<Dictionary>;

struct Empty {
    bool operator==(const Empty&) const = default;
};
struct Null {
    bool operator==(const Null&) const = default;
};

// A dynamic value: what Dictionaries hold and most helpers take.
class Value {
public:
    using Array = std::vector<Value>;

    Value() = default;
    Value(Null) : m_data(Null{}) {}
    Value(const QString& s) : m_data(s) {}
    Value(const char* s) : m_data(QString::fromUtf8(s)) {}
    Value(int32_t i) : m_data(i) {}
    Value(bool b) : m_data(b) {}
    Value(double d) : m_data(d) {}
    Value(const QDateTime& d) : m_data(d) {}
    // in_place_type: the converting constructor would test DictionaryPtr against
    // ObjectPtr while Dictionary is still incomplete, and cache a wrong answer.
    Value(DictionaryPtr d) : m_data(std::in_place_type<DictionaryPtr>, std::move(d)) {}
    Value(ObjectPtr o) : m_data(std::in_place_type<ObjectPtr>, std::move(o)) {}
    Value(Array a) : m_data(std::in_place_type<Array>, std::move(a)) {}

    bool isEmpty() const { return std::holds_alternative<Empty>(m_data); }
    bool isNull() const { return std::holds_alternative<Null>(m_data); }
    bool isString() const { return std::holds_alternative<QString>(m_data); }
    bool isInt() const { return std::holds_alternative<int32_t>(m_data); }
    bool isBool() const { return std::holds_alternative<bool>(m_data); }
    bool isDouble() const { return std::holds_alternative<double>(m_data); }
    bool isDate() const { return std::holds_alternative<QDateTime>(m_data); }
    bool isDictionary() const { return std::holds_alternative<DictionaryPtr>(m_data); }
    bool isObject() const { return std::holds_alternative<ObjectPtr>(m_data); }
    bool isArray() const { return std::holds_alternative<Array>(m_data); }

    // Typed access; the caller checks the type first.
    const QString& string() const { return std::get<QString>(m_data); }
    int32_t toInt() const { return std::get<int32_t>(m_data); }
    bool boolean() const { return std::get<bool>(m_data); }
    double number() const { return std::get<double>(m_data); }
    const QDateTime& date() const { return std::get<QDateTime>(m_data); }
    const DictionaryPtr& dictionary() const { return std::get<DictionaryPtr>(m_data); }
    const ObjectPtr& object() const { return std::get<ObjectPtr>(m_data); }
    const Array& array() const { return std::get<Array>(m_data); }

private:
    std::variant<Empty, Null, QString, int32_t, bool, double, QDateTime, DictionaryPtr, ObjectPtr,
                 Array>
        m_data;
};

} // namespace common
