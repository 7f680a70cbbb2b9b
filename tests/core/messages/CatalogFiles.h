#pragma once

// Catalog files written beside the test program for one test and removed afterwards.

#include <map>
#include <string>

namespace testcatalog {

// The full path of name in the test program's directory.
std::string PathOf(const std::string& name);

// The whole file as it lies on disk; empty when it cannot be read.
std::string ReadAll(const std::string& path);

// Writes the lines as they are, each followed by a line end.
void WriteLines(const std::string& name, const std::initializer_list<std::string>& lines);

// A catalog line for every id from 3000 up to the highest id given, empty where texts has none.
// Message 3000 holds the maker's word unless texts gives it another.
void WriteCatalog(const std::string& name, const std::map<int, std::string>& texts);

}  // namespace testcatalog
