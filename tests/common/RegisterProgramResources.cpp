// Linked into the test programs of the layers that read the program's own
// resources (parse tables, forms, string tables).  The program registers its
// resource table at start-up; a test program does the same before its first
// test runs.  A test environment, not a static initialiser, so that the
// registration happens after every global of the core is constructed.
#include <gtest/gtest.h>

#include "platform/core/Resources.h"
#include "resources/PayrollResources.h"

namespace {

class ProgramResources : public testing::Environment {
 public:
  void SetUp() override { RegisterResources(&PayrollEmbeddedResources()); }
};

[[maybe_unused]] testing::Environment* const kProgramResources =
    testing::AddGlobalTestEnvironment(new ProgramResources);

}  // namespace
