#pragma once

// Folders and files for the engine and loader tests: temporary engine stores and base directories
// built from the engine installed beside the test programs.

#include "core/cms/CmsEngine.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace enginetest {

// A new empty folder below the temporary directory, with a trailing backslash.
std::string MakeTempFolder(const char* tag);
void RemoveTree(const std::string& folder);
bool CopyTree(const std::string& from, const std::string& to);
bool WriteTextFile(const std::string& path, const std::string& content);
bool MakeFolders(const std::string& path);
// The whole file; empty when it cannot be read.
std::vector<uint8_t> ReadBytes(const std::string& path);

// The engine installation of the test folder: "<test folder>cmsbase\".
std::string InstalledBase();
std::string InstalledDll();

// The installed engine DLL's two exports. The DLL is loaded on the first call and stays loaded for
// the test program's life; both are null when it cannot be loaded.
struct CEngineExports {
    GetCmsInstanceFn getInstance = nullptr;
    FreeCmsInstanceFn freeInstance = nullptr;
};
CEngineExports InstalledEngineExports();

// A test whose cases each get a fresh instance of the installed engine over Store(); the instance
// is freed after the case unless the case freed it itself (FreeEngine).
class CEngineInstanceTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // The engine directory of the instances: the installed one unless a suite brings its own.
    virtual std::string Store() const;
    void FreeEngine();

    CCmsEngine* m_engine = nullptr;
};

}  // namespace enginetest
