// The in-memory file system of the engine tests, shared as support for
// the tests of SQL over the engine.
#include "tests/udb/MemFileSystem.cpp"
