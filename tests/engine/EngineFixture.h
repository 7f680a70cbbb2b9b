#pragma once

// Folders and files for the engine and loader tests: temporary engine stores and base directories
// built from the engine installed beside the test programs.

#include <string>

namespace enginetest {

// A new empty folder below the temporary directory, with a trailing backslash.
std::string MakeTempFolder(const char* tag);
void RemoveTree(const std::string& folder);
bool CopyTree(const std::string& from, const std::string& to);
bool WriteTextFile(const std::string& path, const std::string& content);
bool MakeFolders(const std::string& path);

// The engine installation of the test folder: "<test folder>cmsbase\".
std::string InstalledBase();
std::string InstalledDll();

}  // namespace enginetest
