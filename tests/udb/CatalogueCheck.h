// The space check of a database file, for the catalogue and crash tests:
// does the allocation map account for every page, and every free run for
// every block that is not in use?
//
//  - every page of the file has a map entry; a page owned by a table
//    belongs to a table listed in one of the two table maps, and only
//    record, blob and index pages belong to tables; every user table in
//    the map has its entry in the catalogue;
//  - the header pages hold exactly the listed table headers and the blocks
//    of the two header free lists, none twice;
//  - each user table's record pages hold exactly its records and its free
//    record runs, its blob pages exactly the blocks of its blobs' chains
//    and its free blob runs, its index pages exactly the nodes of its trees
//    and the free index blocks in them.
//
// The connection must be open on a database file with no transaction
// running.  Returns one line per fault found; empty when the file is sound.
#pragma once

#include <string>
#include <vector>

class TUdbDataBase;

std::vector<std::string> CheckFileSpace(TUdbDataBase& db);
