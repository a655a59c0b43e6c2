// The file reader under damage: a small database with indexed tables and
// blobs, mutations of its bytes or of its stored table definitions, and a
// reader that opens a (patched) file the way the program does - connect,
// read the definitions, open every table, walk every index and the storage
// order, read every field and blob, look a value up and post two edits.  Only the engine's own errors (EUdbDatabaseError) may
// come out (FileFuzzTest.cpp).
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

// The bytes of the sample database "fuzz.udb".
const std::vector<std::uint8_t>& FuzzBaseDatabase();

// Opens bytes as "fuzz.udb", reads everything and edits a record per table.  Returns "" when the
// reader ended normally or with an engine error, else what escaped.
std::string ReadWholeDatabase(const std::vector<std::uint8_t>& bytes);

// A stored definition of the base database changed: one number of its
// component text replaced by a value of rng's choice.  Empty when the
// catalogue could not be patched.
std::vector<std::uint8_t> PatchStoredDefinition(std::mt19937& rng);

// The base database with the first stored definition that holds `from`
// holding `to` there instead.  Empty when none holds it.
std::vector<std::uint8_t> ReplaceInStoredDefinition(const std::string& from, const std::string& to);

// A few bytes of the file replaced, most of them in the structural pages.
std::vector<std::uint8_t> PatchBytes(std::vector<std::uint8_t> bytes, std::mt19937& rng);
