#pragma once

// Stored objects held in memory (flavour parts, loaded whole from their files, and the links the
// engine makes of a chain) and the chains of them the engine applies as one Little CMS transform.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/cms/CmsEngine.h"
#include "engine/Transform.h"

class CEngineError;

// The name attribute of a stored object (category 3, the object's handle), and the codes of
// BeginAttributeSearch: category, the kinds and classes of object, the folder.
constexpr int kObjectNameAttribute = 0x307041;
constexpr int kSearchCategory = 7;
constexpr int kSearchKind = 0x203081;
constexpr int kSearchClass = 0x300000;
constexpr int kSearchFolder = 0x106041;
class CWrittenProfiles;

// The file of a stored object by a path as given (relative paths from the current folder), or with
// ".icc" or ".icm" added; "" when there is none.
std::string FindObjectFile(const std::string& path);

int LoadStoredObject(const char* path, CmsHandle* object, CEngineError& error);
int SaveStoredObject(CmsHandle* object, const char* path, CEngineError& error);
int GetObjectName(CmsHandle* object, const char** name, CEngineError& error);
int SetObjectName(CmsHandle* object, const char* name, CEngineError& error);
// The record's description into the object file, where GetProfileInfo reads it.
int WriteObjectDescription(const std::string& path, const CmsObjectInfo& info, CEngineError& error);
// The ICC objects of a folder (absolute or from the current folder), names without extension.
int ListObjects(const std::string& folder, std::vector<std::string>& names, CEngineError& error);

// The transform of the chain last applied, kept while the same objects come in the same order.
class CFlavourChains {
public:
    int Apply(int count, CmsChainEntry* entries, CCmsImageDesc* source, CCmsImageDesc* destination,
        CWrittenProfiles& written, CEngineError& error);
    int Combine(int count, CmsChainEntry* entries, CmsHandle* combined, CEngineError& error);

private:
    int Build(int count, CmsChainEntry* entries, const char* operation, CEngineError& error);

    std::vector<uint64_t> m_identities;
    std::unique_ptr<CColourTransform> m_transform;
};
