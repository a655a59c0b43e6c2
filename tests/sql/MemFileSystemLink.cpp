// The in-memory file system of the engine's tests, shared as support for
// the executor's tests over engine tables.
#include "tests/udb/MemFileSystem.cpp"
