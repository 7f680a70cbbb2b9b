#include "engine/ObjectStore.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <strings.h>

CObjectStore::CObjectStore(const std::string& root) : m_strRoot(root)
{
    if (!m_strRoot.empty() && m_strRoot.back() != '\\' && m_strRoot.back() != '/')
        m_strRoot += '\\';
    m_pFolder = &*m_folders.insert(std::string()).first;
}

bool CObjectStore::SetFolder(const char* folder)
{
    if (!IsValidFolder(folder))
        return false;
    std::string text(folder);
    std::replace(text.begin(), text.end(), '/', '\\');
    if (!text.empty() && text.back() != '\\')
        text += '\\';
    m_pFolder = &*m_folders.insert(text).first;
    return true;
}

std::string CObjectStore::FindFile(const std::string& folder, const std::string& name,
                                   const std::vector<const char*>& extensions) const
{
    for (const char* extension : extensions) {
        std::string path = folder + name + extension;
        if (FileExists(path))
            return path;
    }
    return std::string();
}

bool CObjectStore::IsValidName(const char* name)
{
    if (name == nullptr || *name == '\0' || std::strstr(name, "..") != nullptr)
        return false;
    return std::strpbrk(name, "\\/:*?\"<>|") == nullptr;
}

bool CObjectStore::IsValidFolder(const char* folder)
{
    if (folder == nullptr)
        return false;
    // "" is the object root; otherwise names joined by separators, with one optional at the end.
    std::string part;
    for (const char* p = folder; *p != '\0'; ++p) {
        if (*p != '\\' && *p != '/') {
            part += *p;
            continue;
        }
        if (!IsValidName(part.c_str()))
            return false;
        part.clear();
    }
    return part.empty() || IsValidName(part.c_str());
}

bool ListFolder(const std::string& folder, std::vector<std::string>& names)
{
    names.clear();
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND && FileExists(folder);
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(found.cFileName);
    } while (FindNextFileA(find, &found));
    FindClose(find);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return strcasecmp(a.c_str(), b.c_str()) < 0;
    });
    return true;
}

bool FileExists(const std::string& path)
{
    std::string probe = path;
    while (probe.size() > 3 && (probe.back() == '\\' || probe.back() == '/'))
        probe.pop_back();
    return GetFileAttributesA(probe.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string StripExtension(const std::string& name)
{
    size_t dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

bool HasExtension(const std::string& name, const char* extension)
{
    size_t length = std::strlen(extension);
    return name.size() > length && strcasecmp(name.c_str() + name.size() - length, extension) == 0;
}
