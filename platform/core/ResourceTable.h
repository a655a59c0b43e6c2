// ResourceTable: the layout of the table of embedded resources that the
// build generates (resources/EmbedResources.cmake) and Resources.cpp reads.
// The generated code, Resources.cpp and the program's start-up (which
// registers its table) include this header.
#pragma once

#include <cstddef>

// One file under resources/<folder>/: folder is the folder's name, name the
// file's name without its last extension, both as code-page-936 text; data
// holds size bytes of the file, followed by one zero byte.
struct TEmbeddedResource {
  const char* folder;
  const char* name;
  const unsigned char* data;
  std::size_t size;
};

struct TEmbeddedResourceTable {
  const TEmbeddedResource* items;
  std::size_t count;
};
