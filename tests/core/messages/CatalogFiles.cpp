#include "CatalogFiles.h"

#include "tests/support/Screenshot.h"

#include <fstream>
#include <iterator>

namespace testcatalog {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string PathOf(const std::string& name)
{
    return testsupport::ProgramDirectory() + name;
}

void WriteLines(const std::string& name, const std::initializer_list<std::string>& lines)
{
    std::ofstream out(PathOf(name));
    for (const std::string& line : lines)
        out << line << "\n";
}

void WriteCatalog(const std::string& name, const std::map<int, std::string>& texts)
{
    std::map<int, std::string> all = texts;
    all.emplace(3000, "ZELK test catalog");
    std::ofstream out(PathOf(name));
    for (int id = 3000; id <= all.rbegin()->first; ++id) {
        auto it = all.find(id);
        out << id << " \"" << (it == all.end() ? "" : it->second) << "\"\n";
    }
}

}  // namespace testcatalog
