// Every sql test program carries the program's resources (the parse
// tables among them), registered before any test runs.
#include "platform/core/Resources.h"
#include "resources/PayrollResources.h"

namespace {
const bool kRegistered = (RegisterResources(&PayrollEmbeddedResources()), true);
}  // namespace
