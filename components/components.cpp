#include "components/components.h"

namespace components {

void RegisterComponents() {}

} // namespace components
