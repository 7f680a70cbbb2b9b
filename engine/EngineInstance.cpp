#include "engine/EngineInstance.h"

#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <strings.h>

#include "engine/EngineHandle.h"
#include "engine/FilmType.h"
#include "engine/FlavourObjects.h"
#include "engine/InfoAttributes.h"
#include "engine/ProfileAttributes.h"
#include "engine/ProfileReader.h"
#include "engine/StepChain.h"
#include "engine/ToneCurves.h"

namespace {

const std::vector<const char*> kProfileExtensions = {"", ".icc", ".icm"};
const std::vector<const char*> kObjectExtensions = {"", ".flm", ".icc", ".icm"};

bool IsProfileFile(const std::string& name)
{
    return HasExtension(name, ".icc") || HasExtension(name, ".icm");
}

int32_t FileTimeOf(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    ULARGE_INTEGER ticks;
    ticks.LowPart = data.ftLastWriteTime.dwLowDateTime;
    ticks.HighPart = data.ftLastWriteTime.dwHighDateTime;
    constexpr unsigned long long kTicksTo1970 = 116444736000000000ULL;
    if (ticks.QuadPart < kTicksTo1970)
        return 0;
    return static_cast<int32_t>((ticks.QuadPart - kTicksTo1970) / 10000000ULL);
}

// Names a search hands out are file names without extension, each once.
std::vector<std::string> UniqueStems(const std::vector<std::string>& files)
{
    std::vector<std::string> stems;
    for (const std::string& file : files) {
        std::string stem = StripExtension(file);
        if (stems.empty() || strcasecmp(stems.back().c_str(), stem.c_str()) != 0)
            stems.push_back(stem);
    }
    return stems;
}

}  // namespace

CEngineInstance::CEngineInstance(const std::string& root) : m_store(root) {}

CEngineInstance::~CEngineInstance() = default;

int CEngineInstance::NotAvailable(const char* operation)
{
    return m_error.Fail(kCmsErrNotAvailable, "%s: not available in this engine build", operation);
}

bool CEngineInstance::CheckStore()
{
    if (FileExists(m_store.Root()))
        return true;
    m_error.Fail(kCmsErrNoStore, "%s", m_store.Root().c_str());
    return false;
}

int CEngineInstance::FreeHandle(CmsHandle* handle)
{
    m_error.Clear();
    if (handle == nullptr)
        return m_error.Fail(kCmsErrArgument, "FreeHandle: no handle");
    if (handle->IsEmpty())
        return 0;
    const EngineHandleData* data = ReadHandle(handle);
    if (data == nullptr)
        return m_error.Fail(kCmsErrBadHandle, "FreeHandle: not an engine handle");
    delete static_cast<CEngineObject*>(data->object);
    std::memset(handle->bytes, 0, sizeof handle->bytes);
    return 0;
}

int CEngineInstance::SetAttributes(int category, void* object, int code, ...)
{
    m_error.Clear();
    if (category == kCmsCategoryCallbacks) {
        va_list args;
        va_start(args, code);
        int result = SetCallbacks(object, code, args);
        va_end(args);
        return result;
    }
    if (category == kCmsCategoryObjects && object != nullptr && code == kObjectNameAttribute) {
        va_list args;
        va_start(args, code);
        const char* name = va_arg(args, const char*);
        va_end(args);
        return SetObjectName(static_cast<CmsHandle*>(object), name, m_error);
    }
    if (category != kCmsCategoryObjects || object != nullptr || code != kCmsAttrObjectFolder)
        return m_error.Fail(kCmsErrAttribute, "attribute %d/0x%X: not available in this engine build",
                            category, static_cast<unsigned>(code));
    va_list args;
    va_start(args, code);
    const char* folder = va_arg(args, const char*);
    va_end(args);
    if (!m_store.SetFolder(folder))
        return m_error.Fail(kCmsErrBadName, "%s", folder != nullptr ? folder : "(null)");
    return 0;
}

int CEngineInstance::GetAttributes(int category, void* object, int code, ...)
{
    m_error.Clear();
    if (category == kCmsCategoryObjects && object != nullptr) {
        va_list args;
        va_start(args, code);
        void* out = va_arg(args, void*);
        va_end(args);
        if (code == kObjectNameAttribute)
            return GetObjectName(static_cast<CmsHandle*>(object), static_cast<const char**>(out), m_error);
        return GetProfileAttribute(static_cast<CmsHandle*>(object), code, out);
    }
    if (category != kCmsCategoryObjects || object != nullptr || code != kCmsAttrObjectFolder)
        return m_error.Fail(kCmsErrAttribute, "attribute %d/0x%X: not available in this engine build",
                            category, static_cast<unsigned>(code));
    va_list args;
    va_start(args, code);
    const char** out = va_arg(args, const char**);
    va_end(args);
    if (out == nullptr)
        return m_error.Fail(kCmsErrArgument, "GetAttributes: no place for the result");
    *out = m_store.FolderText();
    return 0;
}

int CEngineInstance::StartSearch(std::vector<std::string> names)
{
    m_searchNames = std::move(names);
    m_nSearchNext = 0;
    m_bSearchOpen = true;
    return 0;
}

int CEngineInstance::BeginProfileSearch(int mode, const CmsObjectInfo* filter)
{
    m_error.Clear();
    EndSearch();
    if (mode != 0 && (mode != 1 || filter == nullptr))
        return m_error.Fail(kCmsErrArgument, "BeginProfileSearch: mode %d", mode);
    if (!CheckStore())
        return 1;
    std::string folder = mode == 0 ? m_store.ProfileFolder() : m_store.CurrentFolder();
    std::vector<std::string> files;
    if (!ListFolder(folder, files))
        return m_error.Fail(kCmsErrNotFound, "%s", folder.c_str());
    std::vector<std::string> profiles;
    for (const std::string& file : files) {
        if (!IsProfileFile(file))
            continue;
        if (mode == 1) {
            CmsObjectInfo info;
            CEngineError ignored;
            if (ReadProfileInfo(folder + file, info, ignored) != 0)
                continue;
            if ((filter->inputMode != 0 && filter->inputMode != info.inputMode) ||
                (filter->outputSpace != 0 && filter->outputSpace != info.outputSpace))
                continue;
        }
        profiles.push_back(file);
    }
    return StartSearch(UniqueStems(profiles));
}

int CEngineInstance::BeginFolderSearch()
{
    m_error.Clear();
    EndSearch();
    if (!CheckStore())
        return 1;
    std::vector<std::string> files;
    if (!ListFolder(m_store.CurrentFolder(), files))
        return m_error.Fail(kCmsErrNotFound, "%s", m_store.CurrentFolder().c_str());
    return StartSearch(UniqueStems(files));
}

int CEngineInstance::NextSearchResult(char** name)
{
    m_error.Clear();
    if (name == nullptr)
        return m_error.Fail(kCmsErrArgument, "NextSearchResult: no place for the name");
    *name = nullptr;
    if (!m_bSearchOpen)
        return m_error.Fail(kCmsErrSearch, "NextSearchResult: no search is open");
    if (m_nSearchNext < m_searchNames.size()) {
        m_strSearchName = m_searchNames[m_nSearchNext++];
        *name = m_strSearchName.data();
    }
    return 0;
}

int CEngineInstance::EndSearch()
{
    m_bSearchOpen = false;
    m_searchNames.clear();
    m_nSearchNext = 0;
    return 0;
}

int CEngineInstance::DeleteObject(int kind, const char* name)
{
    m_error.Clear();
    if (kind != 1)
        return m_error.Fail(kCmsErrArgument, "DeleteObject: kind %d", kind);
    if (!CObjectStore::IsValidName(name))
        return m_error.Fail(kCmsErrBadName, "%s", name != nullptr ? name : "(null)");
    std::string path = m_store.FindFile(m_store.CurrentFolder(), name, kObjectExtensions);
    if (path.empty())
        return m_error.Fail(kCmsErrNotFound, "%s", name);
    if (!DeleteFileA(path.c_str()))
        return m_error.Fail(kCmsErrWrite, "%s", path.c_str());
    return 0;
}

int CEngineInstance::ReadObjectInfo(const std::string& path, CmsObjectInfo& info)
{
    if (!HasExtension(path, CObjectStore::kFilmTypeExtension))
        return DescribeProfile(path, info);
    CFilmType film;
    if (film.Load(path, m_error) != 0)
        return 1;
    size_t slash = path.find_last_of("\\/");
    film.FillInfo(info, StripExtension(path.substr(slash + 1)), FileTimeOf(path));
    info.infoKey = InfoKey(path);
    return 0;
}

int CEngineInstance::DescribeProfile(const std::string& path, CmsObjectInfo& info)
{
    if (ReadProfileInfo(path, info, m_error) != 0)
        return 1;
    info.infoKey = InfoKey(path);
    return 0;
}

int32_t CEngineInstance::InfoKey(const std::string& path)
{
    auto found = std::find(m_describedPaths.begin(), m_describedPaths.end(), path);
    if (found == m_describedPaths.end())
        found = m_describedPaths.insert(found, path);
    return static_cast<int32_t>(found - m_describedPaths.begin()) + 1;
}

int CEngineInstance::GetProfileInfo(const char* name, int flags, CmsObjectInfo* info)
{
    m_error.Clear();
    if (info == nullptr || name == nullptr || (flags != 0 && flags != 4))
        return m_error.Fail(kCmsErrArgument, "GetProfileInfo: flags %d", flags);
    if (flags == 4) {
        // A path from the program (flavour parts and their folders), relative to the current folder.
        std::string path = FindObjectFile(name);
        if (path.empty())
            return m_error.Fail(kCmsErrNotFound, "%s", name);
        return ReadObjectInfo(path, *info);
    }
    if (!CObjectStore::IsValidName(name))
        return m_error.Fail(kCmsErrBadName, "%s", name);
    std::string path = m_store.FindFile(m_store.ProfileFolder(), name, kProfileExtensions);
    if (path.empty())
        return m_error.Fail(kCmsErrNotFound, "%s", name);
    return DescribeProfile(path, *info);
}

int CEngineInstance::GetObjectInfo(const char* name, CmsObjectInfo* info)
{
    m_error.Clear();
    if (info == nullptr)
        return m_error.Fail(kCmsErrArgument, "GetObjectInfo: no record");
    if (!CObjectStore::IsValidName(name))
        return m_error.Fail(kCmsErrBadName, "%s", name != nullptr ? name : "(null)");
    std::string path = m_store.FindFile(m_store.CurrentFolder(), name, kObjectExtensions);
    if (path.empty())
        path = m_store.FindFile(m_store.ProfileFolder(), name, kProfileExtensions);
    if (path.empty())
        return m_error.Fail(kCmsErrNotFound, "%s", name);
    return ReadObjectInfo(path, *info);
}

int CEngineInstance::LoadFilmType(const char* name, CFilmType& film)
{
    if (!CObjectStore::IsValidName(name))
        return m_error.Fail(kCmsErrBadName, "%s", name != nullptr ? name : "(null)");
    std::string path = m_store.FindFile(m_store.FilmTypeFolder(), name,
                                        {CObjectStore::kFilmTypeExtension, ""});
    if (path.empty())
        return m_error.Fail(kCmsErrNotFound, "%s", name);
    return film.Load(path, m_error);
}

int CEngineInstance::OpenFilmType(const char* name, CmsHandle* filmType)
{
    m_error.Clear();
    if (filmType == nullptr)
        return m_error.Fail(kCmsErrArgument, "OpenFilmType: no handle");
    auto* film = new CFilmType;
    if (LoadFilmType(name, *film) != 0) {
        delete film;
        return 1;
    }
    // The handle is output only: callers pass records from their stack that may hold anything.
    WriteHandle(filmType, EngineObjectKind::FilmType, film);
    return 0;
}

int CEngineInstance::ComputeFilmCorrection(CmsHandle* filmType, CmsCorrectionBlock* block)
{
    m_error.Clear();
    if (filmType == nullptr || block == nullptr)
        return m_error.Fail(kCmsErrArgument, "ComputeFilmCorrection: no handle or block");
    const CFilmType* film = HandleObject<CFilmType>(filmType, EngineObjectKind::FilmType);
    if (film == nullptr)
        return m_error.Fail(kCmsErrBadHandle, "ComputeFilmCorrection: not an open film type");
    film->ComputeCorrection(*block);
    return 0;
}

int CEngineInstance::RegisterFilmType(const char* baseName, const char* newName,
                                      const float* measurement)
{
    m_error.Clear();
    if (measurement == nullptr)
        return m_error.Fail(kCmsErrArgument, "RegisterFilmType: no measurement");
    if (!CObjectStore::IsValidName(newName))
        return m_error.Fail(kCmsErrBadName, "%s", newName != nullptr ? newName : "(null)");
    CFilmType film;
    if (LoadFilmType(baseName, film) != 0)
        return 1;
    for (int c = 0; c < 3; ++c) {
        if (!(measurement[c] >= 0.0f && measurement[c] <= 6.0f))
            return m_error.Fail(kCmsErrArgument, "RegisterFilmType: density %g", measurement[c]);
        film.base[c] = measurement[c];
    }
    film.description += " (";
    film.description += newName;
    film.description += ")";
    CreateDirectoryA(m_store.ObjectRoot().c_str(), nullptr);
    CreateDirectoryA(m_store.FilmTypeFolder().c_str(), nullptr);
    return film.Save(m_store.FilmTypeFolder() + newName + CObjectStore::kFilmTypeExtension, m_error);
}

int CEngineInstance::GetLastErrorCode() { return m_error.Code(); }

const char* CEngineInstance::GetLastErrorText() { return m_error.Text(); }

int CEngineInstance::FormatInfoAttribute(const CmsObjectInfo* info, int code, char* text)
{
    m_error.Clear();
    if (text == nullptr || info == nullptr)
        return m_error.Fail(kCmsErrArgument, "FormatInfoAttribute: no record or text");
    *text = '\0';
    if (info->infoKey <= 0 || static_cast<size_t>(info->infoKey) > m_describedPaths.size())
        return m_error.Fail(kCmsErrArgument, "FormatInfoAttribute: a record this engine did not fill");
    return FormatInfoText(m_describedPaths[info->infoKey - 1], code, text, m_error);
}

int CEngineInstance::OpenLink(const char* name, CmsHandle* handle)
{
    m_error.Clear();
    if (handle == nullptr)
        return m_error.Fail(kCmsErrArgument, "OpenLink: no handle");
    if (!CObjectStore::IsValidName(name))
        return m_error.Fail(kCmsErrBadName, "%s", name != nullptr ? name : "(null)");
    CTransformRecipe recipe;
    recipe.paths.push_back(m_store.FindFile(m_store.CurrentFolder(), name, kProfileExtensions));
    recipe.names.push_back(name);
    if (recipe.paths[0].empty())
        return m_error.Fail(kCmsErrNotFound, "%s", name);
    std::string destination = LinkDestinationName(recipe.paths[0]);
    if (CObjectStore::IsValidName(destination.c_str()))
        recipe.destinationProfile = m_store.FindFile(m_store.ProfileFolder(), destination, kProfileExtensions);
    return MakeTransform(recipe, handle);
}

int CEngineInstance::ApplyTransform(CmsHandle* transform, CCmsImageDesc* source, CCmsImageDesc* destination)
{
    m_error.Clear();
    if (transform == nullptr || source == nullptr || destination == nullptr)
        return m_error.Fail(kCmsErrArgument, "ApplyTransform: no handle or descriptor");
    auto* object = HandleObject<CColourTransform>(transform, EngineObjectKind::Transform);
    if (object == nullptr)
        return m_error.Fail(kCmsErrBadHandle, "ApplyTransform: not a colour transform");
    if (object->Apply(*source, *destination, m_error) != 0)
        return 1;
    m_written.Note(destination->channels[0].data, object->DestinationBytes());
    return 0;
}

int CEngineInstance::BuildProfile(int, int, ...) { return NotAvailable("BuildProfile"); }

int CEngineInstance::TransformBlock(CmsHandle* transform, CCmsImageDesc* source, CCmsImageDesc* destination)
{
    m_error.Clear();
    return TransformStepBlock(transform, source, destination, m_written, m_error);
}

int CEngineInstance::BeginBlockTransform(CmsHandle* transform, CCmsImageDesc* pair)
{
    m_error.Clear();
    return BeginStepBlocks(transform, pair, m_error);
}

int CEngineInstance::EndBlockTransform(CmsHandle* transform)
{
    m_error.Clear();
    return EndStepBlocks(transform, m_error);
}

int CEngineInstance::TransformImage(CmsHandle* transform, CCmsImageDesc* pair, int mode)
{
    m_error.Clear();
    return TransformStepImage(transform, pair, mode, m_written, m_error);
}

int CEngineInstance::CreateSharpenStep(CmsHandle* step, int kernel, float amount, int curveKind, int pointCount,
                                       const float* points, float low, float high)
{
    m_error.Clear();
    return CreateStepRecord(step, "CreateSharpenStep", m_error, [&](StepPointer& made) {
        return MakeSharpenStep(kernel, amount, curveKind, pointCount, points, low, high, made, m_error);
    });
}

int CEngineInstance::CreateStep6(CmsHandle* step, int mode, float fromX, float fromY, float toX, float toY)
{
    m_error.Clear();
    return CreateStepRecord(step, "CreateStep6", m_error, [&](StepPointer& made) {
        return MakeResampleStep(mode, fromX, fromY, toX, toY, made, m_error);
    });
}

int CEngineInstance::CombineTransforms(CmsHandle* out, int count, CmsHandle** steps)
{
    m_error.Clear();
    return CombineStepRecords(out, count, steps, m_error);
}

int CEngineInstance::CreateStep4(CmsHandle* step, float resolution, float ruling, float wanted)
{
    m_error.Clear();
    return CreateStepRecord(step, "CreateStep4", m_error, [&](StepPointer& made) {
        return MakeDescreenStep(resolution, ruling, wanted, made, m_error);
    });
}

int CEngineInstance::CreateStep8(CmsHandle* step, float from, float to, float threshold)
{
    m_error.Clear();
    return CreateStepRecord(step, "CreateStep8", m_error,
                            [&](StepPointer& made) { return MakeLineArtStep(from, to, threshold, made, m_error); });
}

int CEngineInstance::CreateGreyStep(CmsHandle* step, float red, float green, float blue)
{
    m_error.Clear();
    return CreateStepRecord(step, "CreateGreyStep", m_error,
                            [&](StepPointer& made) { return MakeGreyStep(red, green, blue, made, m_error); });
}

int CEngineInstance::CreateImageFile(const char* path, CCmsImageDesc* desc, int flags, int* fileSlot)
{
    m_error.Clear();
    return m_files.Create(path, desc, flags, fileSlot, m_written, m_error);
}

int CEngineInstance::WriteImageBlock(CCmsImageDesc* desc, int* fileSlot)
{
    m_error.Clear();
    return m_files.Write(desc, fileSlot, m_written, m_error);
}

int CEngineInstance::CloseImageFile(CCmsImageDesc* desc, int* fileSlot)
{
    m_error.Clear();
    return m_files.Close(desc, fileSlot, m_error);
}

int CEngineInstance::DetectImageBorders(void*, CCmsImageDesc*)
{
    return NotAvailable("DetectImageBorders");
}

int CEngineInstance::BeginCurveWrite(CmsHandle* curve, int pointCount, int curveCount, int flag, float** xs,
                                     float** ys)
{
    m_error.Clear();
    return BeginCurveSetWrite(curve, pointCount, curveCount, flag, xs, ys, m_error);
}

int CEngineInstance::ReadCurveFile(CmsHandle* curve, const char* path, int* pointCount, int* curveCount,
                                   int* thirdCount, float** xs, float** ys)
{
    m_error.Clear();
    return ReadCurveSetFile(curve, path, pointCount, curveCount, thirdCount, xs, ys, m_error);
}

int CEngineInstance::SetCurveDescription(CmsHandle* curve, const char* text)
{
    m_error.Clear();
    return SetCurveSetDescription(curve, text, m_error);
}

int CEngineInstance::GetCurveDescription(CmsHandle* curve, char* text, int size)
{
    m_error.Clear();
    return GetCurveSetDescription(curve, text, size, m_error);
}

int CEngineInstance::WriteCurveFile(CmsHandle* curve, const char* path)
{
    m_error.Clear();
    return WriteCurveSetFile(curve, path, m_error);
}

// The fitted curve lives in the first record; the second is not written.
int CEngineInstance::FitCurve(CmsHandle* fit, CmsHandle*, const float* xs, const float* ys, int count, int)
{
    m_error.Clear();
    return FitToneCurve(fit, xs, ys, count, m_error);
}

int CEngineInstance::EvaluateCurve(CmsHandle* fit, CmsHandle*, float* x, float* y, int count)
{
    m_error.Clear();
    return EvaluateToneCurve(fit, x, y, count, m_error);
}

int CEngineInstance::OpenProfile(int flags, const char* name, CmsHandle* profile)
{
    m_error.Clear();
    if (profile == nullptr || flags != 0)
        return m_error.Fail(kCmsErrArgument, "OpenProfile: flags %d", flags);
    std::string path;
    if (FindProfile(name, path) != 0)
        return 1;
    cmsHPROFILE opened = cmsOpenProfileFromFile(path.c_str(), "r");
    if (opened == nullptr)
        return m_error.Fail(kCmsErrCorrupt, "%s is not a readable ICC profile", path.c_str());
    WriteHandle(profile, EngineObjectKind::Profile, new CProfileObject(opened));
    return 0;
}

int CEngineInstance::SetProfileInfo(const char* name, int flags, const CmsObjectInfo* info)
{
    m_error.Clear();
    if (name == nullptr || info == nullptr || flags != 4)
        return m_error.Fail(kCmsErrArgument, "SetProfileInfo: flags %d", flags);
    std::string path = FindObjectFile(name);
    if (path.empty())
        return m_error.Fail(kCmsErrNotFound, "%s", name);
    return WriteObjectDescription(path, *info, m_error);
}

int CEngineInstance::CreateTransformFromProfiles(int count, const char** names, const int*, CmsHandle* transform)
{
    m_error.Clear();
    if (count < 2 || names == nullptr || transform == nullptr)
        return m_error.Fail(kCmsErrArgument, "CreateTransformFromProfiles: %d profiles", count);
    CTransformRecipe recipe;
    for (int i = 0; i < count; ++i) {
        std::string path;
        if (FindProfile(names[i], path) != 0)
            return 1;
        recipe.paths.push_back(path);
        recipe.names.push_back(names[i]);
    }
    recipe.destinationProfile = recipe.paths.back();
    return MakeTransform(recipe, transform);
}

int CEngineInstance::ApplyChain(int count, CmsChainEntry* entries, CCmsImageDesc* source,
                                CCmsImageDesc* destination)
{
    m_error.Clear();
    return m_chains.Apply(count, entries, source, destination, m_written, m_error);
}

int CEngineInstance::LoadObject(const char* path, CmsHandle* object)
{
    m_error.Clear();
    return LoadStoredObject(path, object, m_error);
}

int CEngineInstance::SaveObject(CmsHandle* object, const char* path)
{
    m_error.Clear();
    return SaveStoredObject(object, path, m_error);
}

int CEngineInstance::CombineChain(int count, CmsChainEntry* entries, CmsHandle* combined)
{
    m_error.Clear();
    return m_chains.Combine(count, entries, combined, m_error);
}

// Code/value pairs: the folder code ends the list (a code 0 ends it too); the other pairs choose
// kinds of object, and every kind is listed.
int CEngineInstance::BeginAttributeSearch(int category, int code, int value, ...)
{
    m_error.Clear();
    EndSearch();
    if (category != kSearchCategory)
        return m_error.Fail(kCmsErrAttribute, "BeginAttributeSearch: category %d", category);
    va_list args;
    va_start(args, value);
    const char* folder = nullptr;
    for (bool first = true; code != 0; first = false) {
        if (code == kSearchFolder && !first) {
            folder = va_arg(args, const char*);
            break;
        }
        if (code != kSearchKind && code != kSearchClass) {
            va_end(args);
            return m_error.Fail(kCmsErrAttribute, "BeginAttributeSearch: code 0x%X", static_cast<unsigned>(code));
        }
        if (!first)
            (void)va_arg(args, int);
        code = va_arg(args, int);
    }
    va_end(args);
    std::vector<std::string> names;
    if (ListObjects(folder != nullptr ? folder : m_store.CurrentFolder(), names, m_error) != 0)
        return 1;
    return StartSearch(std::move(names));
}

int CEngineInstance::FindProfile(const char* name, std::string& path)
{
    if (name == nullptr)
        return m_error.Fail(kCmsErrArgument, "no profile name");
    if (!CObjectStore::IsValidName(name))
        return m_error.Fail(kCmsErrBadName, "%s", name);
    path = m_store.FindFile(m_store.ProfileFolder(), name, kProfileExtensions);
    if (path.empty())
        return m_error.Fail(kCmsErrNotFound, "%s", name);
    return 0;
}

int CEngineInstance::MakeTransform(const CTransformRecipe& recipe, CmsHandle* handle)
{
    std::unique_ptr<CColourTransform> transform;
    if (CColourTransform::Build(recipe, m_callbacks, m_error, transform) != 0)
        return 1;
    WriteHandle(handle, EngineObjectKind::Transform, transform.release());
    return 0;
}

// Code and callback pairs until both callbacks are named or a code 0 ends the list, so that a
// caller setting one of them ends with a 0.
int CEngineInstance::SetCallbacks(void* object, int code, va_list args)
{
    if (object != nullptr)
        return m_error.Fail(kCmsErrArgument, "SetAttributes: category 5 takes no object");
    CBuildCallbacks callbacks = m_callbacks;
    bool progress = false, cancelled = false;
    while (code != 0) {
        if (code == kCmsAttrProgress && !progress) {
            callbacks.progress = va_arg(args, CmsProgressFn);
            progress = true;
        } else if (code == kCmsAttrCancelled && !cancelled) {
            callbacks.cancelled = va_arg(args, CmsCancelledFn);
            cancelled = true;
        } else {
            return m_error.Fail(kCmsErrAttribute, "attribute 5/0x%X: not known or given twice",
                                static_cast<unsigned>(code));
        }
        if (progress && cancelled)
            break;
        code = va_arg(args, int);
    }
    m_callbacks = callbacks;
    return 0;
}

int CEngineInstance::GetProfileAttribute(CmsHandle* handle, int code, void* out)
{
    if (code != kCmsAttrProfileGammas && code != kCmsAttrProfilePrimaries)
        return m_error.Fail(kCmsErrAttribute, "attribute 3/0x%X of a profile: not known", static_cast<unsigned>(code));
    const auto* profile = HandleObject<CProfileObject>(handle, EngineObjectKind::Profile);
    if (profile == nullptr)
        return m_error.Fail(kCmsErrBadHandle, "GetAttributes: not an opened profile");
    if (out == nullptr)
        return m_error.Fail(kCmsErrArgument, "GetAttributes: no place for the result");
    float values[6];
    bool gammas = code == kCmsAttrProfileGammas;
    if (!(gammas ? ProfileGammas(profile->Profile(), values) : ProfilePrimaries(profile->Profile(), values)))
        return m_error.Fail(kCmsErrBadProfile, "GetAttributes: the profile has no %s",
                            gammas ? "red, green and blue tone curves" : "red, green and blue colorants");
    std::memcpy(out, values, (gammas ? 3 : 6) * sizeof(float));
    return 0;
}
