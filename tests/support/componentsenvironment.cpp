#include "components/components.h"

#include <gtest/gtest.h>

// Compiled into the test programs of the layers that create components by class name:
// the classes are registered before the first test, as websvr's main does.
namespace {
class ComponentsEnvironment final : public ::testing::Environment {
public:
    void SetUp() override { components::RegisterComponents(); }
};

[[maybe_unused]] const ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new ComponentsEnvironment);
} // namespace
