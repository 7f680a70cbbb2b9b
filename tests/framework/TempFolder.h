#pragma once

#include <windows.h>

#include <string>

// A fresh folder under the temporary directory, removed with its files when the test ends.
class CTempFolder {
public:
    CTempFolder()
    {
        char base[MAX_PATH];
        GetTempPathA(MAX_PATH, base);
        char name[MAX_PATH];
        GetTempFileNameA(base, "fwt", 0, name);
        DeleteFileA(name);
        CreateDirectoryA(name, nullptr);
        m_path = name;
    }
    ~CTempFolder()
    {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((m_path + "\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::string file = Path(found.cFileName);
                SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(file.c_str());
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        RemoveDirectoryA(m_path.c_str());
    }
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;

    std::string Path(const std::string& file) const { return m_path + "\\" + file; }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};
