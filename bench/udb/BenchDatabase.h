// The database a benchmark's table lives in: a file in a directory of its
// own under /tmp (removed afterwards), or the in-memory database.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

#include "Udb/UdbDataBase.h"

// Creates and connects `db` exclusively; returns the directory made for it
// ("" for the in-memory database).
inline std::string OpenBenchDatabase(TUdbDataBase& db, bool memory, const char* tag) {
  std::string path;
  if (!memory) {
    std::string name = std::string("/tmp/udb-") + tag + "-XXXXXX";
    path = ::mkdtemp(name.data());
    db.SetDirectory((path + "/").c_str());
    db.SetDataBaseName("bench.udb");
    db.CreateDatabase();
  } else {
    db.SetDataBaseName("MEMORY");
  }
  db.SetExclusive(true);
  db.SetConnected(true);
  return path;
}

// Disconnects `db` and removes the directory OpenBenchDatabase made.
inline void CloseBenchDatabase(TUdbDataBase& db, const std::string& path) {
  db.SetConnected(false);
  if (!path.empty()) std::filesystem::remove_all(path);
}
