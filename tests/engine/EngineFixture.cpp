#include "tests/engine/EngineFixture.h"

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "tests/support/Screenshot.h"

namespace enginetest {

std::string MakeTempFolder(const char* tag)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    static int counter = 0;
    std::string folder;
    do {
        folder = std::string(temp) + "bv" + tag + std::to_string(GetCurrentProcessId()) + "_" +
                 std::to_string(++counter) + "\\";
    } while (!CreateDirectoryA(folder.c_str(), nullptr));
    return folder;
}

void RemoveTree(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(folder + name + "\\");
            else
                DeleteFileA((folder + name).c_str());
        } while (FindNextFileA(find, &found));
        FindClose(find);
    }
    RemoveDirectoryA(folder.c_str());
}

bool MakeFolders(const std::string& path)
{
    for (size_t i = 3; i <= path.size(); ++i)
        if (i == path.size() || path[i] == '\\')
            CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool CopyTree(const std::string& from, const std::string& to)
{
    if (!MakeFolders(to))
        return false;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((from + "*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ok &= CopyTree(from + name + "\\", to + name + "\\");
        else
            ok &= CopyFileA((from + name).c_str(), (to + name).c_str(), FALSE) != 0;
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return ok;
}

bool WriteTextFile(const std::string& path, const std::string& content)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    bool ok = std::fwrite(content.data(), 1, content.size(), file) == content.size();
    return std::fclose(file) == 0 && ok;
}

std::string InstalledBase() { return testsupport::ProgramDirectory() + "cmsbase\\"; }

std::string InstalledDll() { return InstalledBase() + "MIREVANT\\CENGINE\\CMS02732.DLL"; }

CEngineExports InstalledEngineExports()
{
    static const HMODULE dll = LoadLibraryA(InstalledDll().c_str());
    CEngineExports exports;
    if (dll == nullptr)
        return exports;
    exports.getInstance =
        reinterpret_cast<GetCmsInstanceFn>(reinterpret_cast<void*>(GetProcAddress(dll, kGetCmsInstanceExport)));
    exports.freeInstance =
        reinterpret_cast<FreeCmsInstanceFn>(reinterpret_cast<void*>(GetProcAddress(dll, kFreeCmsInstanceExport)));
    if (exports.getInstance == nullptr || exports.freeInstance == nullptr)
        exports = CEngineExports();
    return exports;
}

void CEngineInstanceTest::SetUp()
{
    const CEngineExports dll = InstalledEngineExports();
    ASSERT_NE(dll.getInstance, nullptr) << InstalledDll();
    m_engine = dll.getInstance(Store().c_str());
    ASSERT_NE(m_engine, nullptr);
}

void CEngineInstanceTest::TearDown() { FreeEngine(); }

std::string CEngineInstanceTest::Store() const { return InstalledBase() + "MIREVANT\\"; }

void CEngineInstanceTest::FreeEngine()
{
    if (m_engine != nullptr)
        InstalledEngineExports().freeInstance(m_engine);
    m_engine = nullptr;
}

}  // namespace enginetest
