#pragma once

namespace components {

// Registers every component class of the program with the object factory.
void RegisterComponents();

} // namespace components
