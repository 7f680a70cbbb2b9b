#include "engine/FlavourObjects.h"

#include <windows.h>

#include <lcms2.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

#include "engine/EngineError.h"
#include "engine/EngineHandle.h"
#include "engine/FileBytes.h"
#include "engine/ObjectStore.h"
#include "engine/PixelFormat.h"
#include "engine/WrittenProfiles.h"

namespace {

// Identities are never reused, so a chain made of a freed object's successor at the same address
// does not find the old transform.
std::atomic<uint64_t> g_nNextIdentity {1};

class CStoredObject final : public CEngineObject {
public:
    explicit CStoredObject(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)), m_nIdentity(g_nNextIdentity++) { }

    cmsHPROFILE Open() const
    {
        return cmsOpenProfileFromMem(m_bytes.data(), static_cast<cmsUInt32Number>(m_bytes.size()));
    }

    std::vector<uint8_t> m_bytes;
    std::string m_strName;
    uint64_t m_nIdentity;
};

std::string DescriptionOf(cmsHPROFILE profile)
{
    char text[256] = {};
    cmsGetProfileInfoASCII(profile, cmsInfoDescription, "en", "US", text, sizeof text);
    return text;
}

void WriteText(cmsHPROFILE profile, cmsTagSignature tag, const char* text)
{
    cmsMLU* mlu = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(mlu, "en", "US", text);
    cmsWriteTag(profile, tag, mlu);
    cmsMLUfree(mlu);
}

bool SaveToBytes(cmsHPROFILE profile, std::vector<uint8_t>& bytes)
{
    cmsUInt32Number size = 0;
    if (!cmsSaveProfileToMem(profile, nullptr, &size))
        return false;
    bytes.resize(size);
    return cmsSaveProfileToMem(profile, bytes.data(), &size) != 0;
}

// A stored object made from bytes that Little CMS reads, named by its profile description.
int MakeObject(std::vector<uint8_t> bytes, const char* what, CStoredObject*& out, CEngineError& error)
{
    auto object = std::make_unique<CStoredObject>(std::move(bytes));
    cmsHPROFILE profile = object->Open();
    if (profile == nullptr)
        return error.Fail(kCmsErrCorrupt, "%s is not a readable ICC object", what);
    object->m_strName = DescriptionOf(profile);
    cmsCloseProfile(profile);
    out = object.release();
    return 0;
}

CStoredObject* ObjectOf(CmsHandle* handle, const char* operation, CEngineError& error)
{
    auto* object = HandleObject<CStoredObject>(handle, EngineObjectKind::Object);
    if (object == nullptr)
        error.Fail(kCmsErrBadHandle, "%s: not a stored object", operation);
    return object;
}

// Checked by the chain's build already.
CStoredObject* ObjectAt(const CmsChainEntry& entry)
{
    return HandleObject<CStoredObject>(&entry.handle, EngineObjectKind::Object);
}

// The creation date in an ICC header: six big-endian words.
constexpr size_t kHeaderDateOffset = 24;
constexpr size_t kHeaderDateEnd = 36;

const char* SpaceText(cmsColorSpaceSignature space)
{
    switch (space) {
    case cmsSigGrayData:
        return "grey";
    case cmsSigRgbData:
        return "RGB";
    case cmsSigCmykData:
        return "CMYK";
    default:
        return "another colour space";
    }
}

}  // namespace

std::string FindObjectFile(const std::string& path)
{
    for (const char* extension : {"", ".icc", ".icm"}) {
        std::string file = path + extension;
        DWORD attributes = GetFileAttributesA(file.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return file;
    }
    return std::string();
}

int LoadStoredObject(const char* path, CmsHandle* object, CEngineError& error)
{
    if (path == nullptr || object == nullptr || *path == '\0')
        return error.Fail(kCmsErrArgument, "LoadObject: no path or handle");
    std::string file = FindObjectFile(path);
    if (file.empty())
        return error.Fail(kCmsErrNotFound, "%s", path);
    try {
        std::vector<uint8_t> bytes;
        if (!ReadFileBytes(file, bytes))
            return error.Fail(kCmsErrNotFound, "%s", file.c_str());
        CStoredObject* made = nullptr;
        if (MakeObject(std::move(bytes), file.c_str(), made, error) != 0)
            return 1;
        WriteHandle(object, EngineObjectKind::Object, made);
        return 0;
    } catch (const std::bad_alloc&) {
        return error.Fail(kCmsErrNoMemory, "LoadObject: %s", path);
    }
}

int SaveStoredObject(CmsHandle* handle, const char* path, CEngineError& error)
{
    CStoredObject* object = ObjectOf(handle, "SaveObject", error);
    if (object == nullptr)
        return 1;
    if (path == nullptr || *path == '\0')
        return error.Fail(kCmsErrArgument, "SaveObject: no path");
    if (!ReplaceFileBytes(path, object->m_bytes))
        return error.Fail(kCmsErrWrite, "%s", path);
    return 0;
}

int GetObjectName(CmsHandle* handle, const char** name, CEngineError& error)
{
    CStoredObject* object = ObjectOf(handle, "GetAttributes", error);
    if (object == nullptr)
        return 1;
    if (name == nullptr)
        return error.Fail(kCmsErrArgument, "GetAttributes: no place for the result");
    *name = object->m_strName.c_str();
    return 0;
}

int SetObjectName(CmsHandle* handle, const char* name, CEngineError& error)
{
    CStoredObject* object = ObjectOf(handle, "SetAttributes", error);
    if (object == nullptr)
        return 1;
    if (name == nullptr)
        return error.Fail(kCmsErrArgument, "SetAttributes: no name");
    object->m_strName = name;
    return 0;
}

int WriteObjectDescription(const std::string& path, const CmsObjectInfo& info, CEngineError& error)
{
    std::vector<uint8_t> bytes;
    if (!ReadFileBytes(path, bytes))
        return error.Fail(kCmsErrNotFound, "%s", path.c_str());
    cmsHPROFILE profile = cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size()));
    if (profile == nullptr)
        return error.Fail(kCmsErrCorrupt, "%s is not a readable ICC object", path.c_str());
    std::string description(info.description, strnlen(info.description, sizeof info.description));
    WriteText(profile, cmsSigDeviceModelDescTag, description.c_str());
    bool saved = SaveToBytes(profile, bytes);
    cmsCloseProfile(profile);
    if (!saved || !ReplaceFileBytes(path, bytes))
        return error.Fail(kCmsErrWrite, "%s", path.c_str());
    return 0;
}

int ListObjects(const std::string& folder, std::vector<std::string>& names, CEngineError& error)
{
    std::string path = folder;
    if (!path.empty() && path.back() != '\\' && path.back() != '/')
        path += '\\';
    std::vector<std::string> files;
    if (path.empty() || !ListFolder(path, files))
        return error.Fail(kCmsErrNotFound, "%s", folder.c_str());
    names.clear();
    for (const std::string& file : files) {
        cmsHPROFILE profile = cmsOpenProfileFromFile((path + file).c_str(), "r");
        if (profile == nullptr)
            continue;
        cmsCloseProfile(profile);
        names.push_back(StripExtension(file));
    }
    return 0;
}

int CFlavourChains::Build(int count, CmsChainEntry* entries, const char* operation, CEngineError& error)
{
    if (count <= 0 || entries == nullptr)
        return error.Fail(kCmsErrArgument, "%s: %d objects", operation, count);
    std::vector<uint64_t> identities;
    std::vector<CStoredObject*> objects;
    for (int i = 0; i < count; ++i) {
        CStoredObject* object = ObjectOf(&entries[i].handle, operation, error);
        if (object == nullptr)
            return 1;
        objects.push_back(object);
        identities.push_back(object->m_nIdentity);
    }
    if (m_transform != nullptr && identities == m_identities)
        return 0;
    m_transform.reset();
    m_identities.clear();
    std::vector<cmsHPROFILE> profiles;
    auto closeAll = [&profiles] {
        for (cmsHPROFILE profile : profiles)
            cmsCloseProfile(profile);
    };
    std::string names;
    for (CStoredObject* object : objects) {
        cmsHPROFILE profile = object->Open();
        if (profile == nullptr) {
            closeAll();
            return error.Fail(kCmsErrCorrupt, "%s: an object is not readable", operation);
        }
        names += (names.empty() ? "" : ", ") + object->m_strName;
        bool link = cmsGetDeviceClass(profile) == cmsSigLinkClass;
        cmsColorSpaceSignature in = cmsGetColorSpace(profile);
        cmsColorSpaceSignature previous = profiles.empty() ? in : cmsGetPCS(profiles.back());
        profiles.push_back(profile);
        if (!link) {
            closeAll();
            return error.Fail(kCmsErrCannotCombine, "%s: %s is no colour link", operation, object->m_strName.c_str());
        }
        if (in != previous) {
            closeAll();
            return error.Fail(kCmsErrCannotCombine, "%s: %s takes %s data, the part before gives %s", operation,
                object->m_strName.c_str(), SpaceText(in), SpaceText(previous));
        }
    }
    if (CColourTransform::FromProfiles(std::move(profiles), names, error, m_transform) != 0) {
        error.Fail(kCmsErrCannotCombine, "%s: %s cannot be joined", operation, names.c_str());
        return 1;
    }
    m_identities = std::move(identities);
    return 0;
}

int CFlavourChains::Apply(int count, CmsChainEntry* entries, CCmsImageDesc* source, CCmsImageDesc* destination,
    CWrittenProfiles& written, CEngineError& error)
{
    if (source == nullptr || destination == nullptr)
        return error.Fail(kCmsErrArgument, "ApplyChain: no descriptor");
    try {
        if (Build(count, entries, "ApplyChain", error) != 0 || m_transform->Apply(*source, *destination, error) != 0)
            return 1;
    } catch (const std::bad_alloc&) {
        return error.Fail(kCmsErrNoMemory, "ApplyChain");
    }
    // A flavour changes the colours: the data are in no profile known any more.
    written.Note(destination->channels[0].data, nullptr);
    return 0;
}

int CFlavourChains::Combine(int count, CmsChainEntry* entries, CmsHandle* combined, CEngineError& error)
{
    if (combined == nullptr)
        return error.Fail(kCmsErrArgument, "CombineChain: no handle");
    try {
        if (Build(count, entries, "CombineChain", error) != 0)
            return 1;
        std::vector<cmsHPROFILE> profiles;
        std::string names;
        for (int i = 0; i < count; ++i) {
            CStoredObject* object = ObjectAt(entries[i]);
            profiles.push_back(object->Open());
            names += (names.empty() ? "" : " + ") + object->m_strName;
        }
        cmsColorSpaceSignature in = cmsGetColorSpace(profiles.front()), out = cmsGetPCS(profiles.back());
        cmsHTRANSFORM transform = cmsCreateMultiprofileTransform(profiles.data(),
            static_cast<cmsUInt32Number>(profiles.size()), PlainFormat16(in), PlainFormat16(out),
            cmsGetHeaderRenderingIntent(profiles.front()), cmsFLAGS_HIGHRESPRECALC);
        cmsHPROFILE link = transform != nullptr ? cmsTransform2DeviceLink(transform, 4.3, 0) : nullptr;
        std::vector<uint8_t> bytes;
        bool ok = link != nullptr;
        if (ok) {
            WriteText(link, cmsSigProfileDescriptionTag, names.c_str());
            ok = SaveToBytes(link, bytes);
            cmsCloseProfile(link);
            // The first part's creation date, not the moment: the same chain gives the same bytes.
            const std::vector<uint8_t>& first = ObjectAt(entries[0])->m_bytes;
            if (ok && bytes.size() > kHeaderDateEnd && first.size() > kHeaderDateEnd)
                std::copy(first.begin() + kHeaderDateOffset, first.begin() + kHeaderDateEnd,
                    bytes.begin() + kHeaderDateOffset);
        }
        if (transform != nullptr)
            cmsDeleteTransform(transform);
        for (cmsHPROFILE profile : profiles)
            cmsCloseProfile(profile);
        CStoredObject* made = nullptr;
        if (!ok || MakeObject(std::move(bytes), "the combined link", made, error) != 0)
            return error.Fail(kCmsErrCannotCombine, "CombineChain: %s cannot be made one link", names.c_str());
        WriteHandle(combined, EngineObjectKind::Object, made);
        return 0;
    } catch (const std::bad_alloc&) {
        return error.Fail(kCmsErrNoMemory, "CombineChain");
    }
}
