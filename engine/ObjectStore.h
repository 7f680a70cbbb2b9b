#pragma once

// The engine's files below its directory ("<base>\MIREVANT\"): profiles in "PROFILES\", stored
// objects below "OBJECTS\" (colour links, and film types in "cnegs\"), and the current object
// folder that callers switch between.

#include <set>
#include <string>
#include <vector>

class CObjectStore {
public:
    explicit CObjectStore(const std::string& root);

    const std::string& Root() const { return m_strRoot; }
    std::string ProfileFolder() const { return m_strRoot + "PROFILES\\"; }
    std::string ObjectRoot() const { return m_strRoot + "OBJECTS\\"; }
    std::string FilmTypeFolder() const { return ObjectRoot() + kFilmTypeFolder; }
    std::string CurrentFolder() const { return ObjectRoot() + m_pFolder->c_str(); }

    // The current folder text, relative to the object root ("" or ending in a backslash). The
    // pointer stays valid for the engine's life, as callers keep it to set the folder back.
    const char* FolderText() const { return m_pFolder->c_str(); }
    bool SetFolder(const char* folder);

    // The file of a stored object: folder + name, as it is or with one of the extensions.
    std::string FindFile(const std::string& folder, const std::string& name,
                         const std::vector<const char*>& extensions) const;

    // A name typed by a user that becomes a file name: no path separators, "..", ":" or wildcards.
    static bool IsValidName(const char* name);
    // A relative folder: names as above, joined by backslashes or slashes.
    static bool IsValidFolder(const char* folder);

    static constexpr const char* kFilmTypeFolder = "cnegs\\";
    static constexpr const char* kFilmTypeExtension = ".flm";

private:
    std::string m_strRoot;
    std::set<std::string> m_folders;
    const std::string* m_pFolder;
};

// File names (without folders) in a folder, sorted without regard to case; folders left out.
// False when the folder cannot be listed.
bool ListFolder(const std::string& folder, std::vector<std::string>& names);
bool FileExists(const std::string& path);
std::string StripExtension(const std::string& name);
bool HasExtension(const std::string& name, const char* extension);
