#pragma once

#include <QString>
#include <memory>

namespace common {

// Base of everything the object factory creates by class name.
class Component {
public:
    virtual ~Component() = default;
    virtual QString className() const = 0;
};

using ObjectPtr = std::shared_ptr<Component>;

} // namespace common
