// The program's resource table, generated from this folder into the library
// payroll_resources.  A program registers it with the core at start-up:
//   RegisterResources(&PayrollEmbeddedResources());
#pragma once

#include "platform/core/ResourceTable.h"

const TEmbeddedResourceTable& PayrollEmbeddedResources();
