#pragma once

// The engine instance handed out by GetCMSInstance: the table of operations over the object store.
// Operations that later engine builds fill answer failure with code kCmsErrNotAvailable.

#include <cstdarg>
#include <string>
#include <vector>

#include "core/cms/CmsEngine.h"
#include "engine/EngineError.h"
#include "engine/FlavourObjects.h"
#include "engine/ImageFiles.h"
#include "engine/ObjectStore.h"
#include "engine/Transform.h"
#include "engine/WrittenProfiles.h"

struct CFilmType;

class CEngineInstance final : public CCmsEngine {
public:
    explicit CEngineInstance(const std::string& root);
    ~CEngineInstance();

    int FreeHandle(CmsHandle* handle) override;
    int SetAttributes(int category, void* object, int code, ...) override;
    int BeginProfileSearch(int mode, const CmsObjectInfo* filter) override;
    int BeginFolderSearch() override;
    int NextSearchResult(char** name) override;
    int EndSearch() override;
    int DeleteObject(int kind, const char* name) override;
    int GetProfileInfo(const char* name, int flags, CmsObjectInfo* info) override;
    int GetObjectInfo(const char* name, CmsObjectInfo* info) override;
    int FormatInfoAttribute(const CmsObjectInfo* info, int code, char* text) override;
    int OpenLink(const char* name, CmsHandle* handle) override;
    int ApplyTransform(CmsHandle* transform, CCmsImageDesc* source,
                       CCmsImageDesc* destination) override;
    int BuildProfile(int valueCount, int classCode, ...) override;
    int TransformBlock(CmsHandle* transform, CCmsImageDesc* source,
                       CCmsImageDesc* destination) override;
    int BeginBlockTransform(CmsHandle* transform, CCmsImageDesc* pair) override;
    int EndBlockTransform(CmsHandle* transform) override;
    int TransformImage(CmsHandle* transform, CCmsImageDesc* pair, int mode) override;
    int CreateSharpenStep(CmsHandle* step, int kernel, float amount, int curveKind, int pointCount,
                          const float* points, float low, float high) override;
    int CreateStep6(CmsHandle* step, int mode, float a, float b, float c, float d) override;
    int CombineTransforms(CmsHandle* out, int count, CmsHandle** steps) override;
    int CreateStep4(CmsHandle* step, float a, float b, float c) override;
    int CreateStep8(CmsHandle* step, float a, float b, float c) override;
    int CreateGreyStep(CmsHandle* step, float red, float green, float blue) override;
    int CreateImageFile(const char* path, CCmsImageDesc* desc, int flags, int* fileSlot) override;
    int WriteImageBlock(CCmsImageDesc* desc, int* fileSlot) override;
    int CloseImageFile(CCmsImageDesc* desc, int* fileSlot) override;
    int DetectImageBorders(void* record, CCmsImageDesc* desc) override;
    int BeginCurveWrite(CmsHandle* curve, int pointCount, int curveCount, int flag, float** xs,
                        float** ys) override;
    int ReadCurveFile(CmsHandle* curve, const char* path, int* pointCount, int* curveCount,
                      int* thirdCount, float** xs, float** ys) override;
    int SetCurveDescription(CmsHandle* curve, const char* text) override;
    int GetCurveDescription(CmsHandle* curve, char* text, int size) override;
    int WriteCurveFile(CmsHandle* curve, const char* path) override;
    int FitCurve(CmsHandle* fit, CmsHandle* table, const float* xs, const float* ys, int count,
                 int flags) override;
    int EvaluateCurve(CmsHandle* fit, CmsHandle* table, float* x, float* y, int count) override;
    int OpenFilmType(const char* name, CmsHandle* filmType) override;
    int ComputeFilmCorrection(CmsHandle* filmType, CmsCorrectionBlock* block) override;
    int RegisterFilmType(const char* baseName, const char* newName,
                         const float* measurement) override;
    int GetLastErrorCode() override;
    const char* GetLastErrorText() override;
    int OpenProfile(int flags, const char* name, CmsHandle* profile) override;
    int GetAttributes(int category, void* object, int code, ...) override;
    int SetProfileInfo(const char* name, int flags, const CmsObjectInfo* info) override;
    int CreateTransformFromProfiles(int count, const char** names, const int* flags,
                                    CmsHandle* transform) override;
    int ApplyChain(int count, CmsChainEntry* entries, CCmsImageDesc* source,
                   CCmsImageDesc* destination) override;
    int LoadObject(const char* path, CmsHandle* object) override;
    int SaveObject(CmsHandle* object, const char* path) override;
    int CombineChain(int count, CmsChainEntry* entries, CmsHandle* combined) override;
    int BeginAttributeSearch(int category, int code, int value, ...) override;

private:
    int NotAvailable(const char* operation);
    int StartSearch(std::vector<std::string> names);
    int ReadObjectInfo(const std::string& path, CmsObjectInfo& info);
    int LoadFilmType(const char* name, CFilmType& film);
    bool CheckStore();
    int FindProfile(const char* name, std::string& path);
    int DescribeProfile(const std::string& path, CmsObjectInfo& info);
    int32_t InfoKey(const std::string& path);
    int SetCallbacks(void* object, int code, va_list args);
    int GetProfileAttribute(CmsHandle* profile, int code, void* out);
    int MakeTransform(const CTransformRecipe& recipe, CmsHandle* handle);

    CObjectStore m_store;
    CEngineError m_error;
    CWrittenProfiles m_written;
    CImageFiles m_files;
    bool m_bSearchOpen = false;
    std::vector<std::string> m_searchNames;
    size_t m_nSearchNext = 0;
    std::string m_strSearchName;
    CBuildCallbacks m_callbacks;
    // The files described into info records; a record's key is its index + 1.
    std::vector<std::string> m_describedPaths;
    CFlavourChains m_chains;
};
