#pragma once

// A colour engine for the tests: every operation refuses with code 30, "not available", as the
// operations not yet in the engine build do; the image-file operations can be switched to write a
// raw file that fails after a number of blocks, as a full disk would.

#include "colour/CmsEngine.h"

#include <cstdio>
#include <string>

class CFakeEngine : public CCmsEngine {
public:
    int FreeHandle(CmsHandle*) override { return 0; }
    int SetAttributes(int, void*, int, ...) override { return Refuse("SetAttributes"); }
    int BeginProfileSearch(int, const CmsObjectInfo*) override { return Refuse("BeginProfileSearch"); }
    int BeginFolderSearch() override { return Refuse("BeginFolderSearch"); }
    int NextSearchResult(char**) override { return Refuse("NextSearchResult"); }
    int EndSearch() override { return 0; }
    int DeleteObject(int, const char*) override { return Refuse("DeleteObject"); }
    int GetProfileInfo(const char*, int, CmsObjectInfo*) override { return Refuse("GetProfileInfo"); }
    int GetObjectInfo(const char*, CmsObjectInfo*) override { return Refuse("GetObjectInfo"); }
    int FormatInfoAttribute(const CmsObjectInfo*, int, char*) override { return Refuse("FormatInfoAttribute"); }
    int OpenLink(const char*, CmsHandle*) override { return Refuse("OpenLink"); }
    int ApplyTransform(CmsHandle*, CCmsImageDesc*, CCmsImageDesc*) override { return Refuse("ApplyTransform"); }
    int BuildProfile(int, int, ...) override { return Refuse("BuildProfile"); }
    int TransformBlock(CmsHandle*, CCmsImageDesc*, CCmsImageDesc*) override { return Refuse("TransformBlock"); }
    int BeginBlockTransform(CmsHandle*, CCmsImageDesc*) override { return Refuse("BeginBlockTransform"); }
    int EndBlockTransform(CmsHandle*) override { return Refuse("EndBlockTransform"); }
    int TransformImage(CmsHandle*, CCmsImageDesc*, int) override { return Refuse("TransformImage"); }
    int CreateSharpenStep(CmsHandle*, int, int, int, int, const int32_t*, int, int) override
    {
        return Refuse("CreateSharpenStep");
    }
    int CreateStep6(CmsHandle*, int, float, float, float, float) override { return Refuse("CreateStep6"); }
    int CombineTransforms(CmsHandle*, int, CmsHandle**) override { return Refuse("CombineTransforms"); }
    int CreateStep4(CmsHandle*, float, float, float) override { return Refuse("CreateStep4"); }
    int CreateStep8(CmsHandle*, float, float, float) override { return Refuse("CreateStep8"); }
    int CreateGreyStep(CmsHandle*, int, int, int) override { return Refuse("CreateGreyStep"); }
    int CreateImageFile(const char* path, CCmsImageDesc*, int, int*) override;
    int WriteImageBlock(CCmsImageDesc* desc, int*) override;
    int CloseImageFile(CCmsImageDesc*, int*) override;
    int DetectImageBorders(void*, CCmsImageDesc*) override { return Refuse("DetectImageBorders"); }
    int BeginCurveWrite(CmsHandle*, int, int, int, float**, float**) override { return Refuse("BeginCurveWrite"); }
    int ReadCurveFile(CmsHandle*, const char*, int*, int*, int*, float**, float**) override
    {
        return Refuse("ReadCurveFile");
    }
    int SetCurveDescription(CmsHandle*, const char*) override { return Refuse("SetCurveDescription"); }
    int GetCurveDescription(CmsHandle*, char*, int) override { return Refuse("GetCurveDescription"); }
    int WriteCurveFile(CmsHandle*, const char*) override { return Refuse("WriteCurveFile"); }
    int FitCurve(CmsHandle*, CmsHandle*, const float*, const float*, int, int) override { return Refuse("FitCurve"); }
    int EvaluateCurve(CmsHandle*, CmsHandle*, float*, float*, int) override { return Refuse("EvaluateCurve"); }
    int OpenFilmType(const char*, CmsHandle*) override { return Refuse("OpenFilmType"); }
    int ComputeFilmCorrection(CmsHandle*, CmsCorrectionBlock*) override { return Refuse("ComputeFilmCorrection"); }
    int RegisterFilmType(const char*, const char*, const float*) override { return Refuse("RegisterFilmType"); }
    int GetLastErrorCode() override { return m_nError; }
    const char* GetLastErrorText() override { return m_strError.c_str(); }
    int OpenProfile(int, const char*, CmsHandle*) override { return Refuse("OpenProfile"); }
    int GetAttributes(int, void*, int, ...) override { return Refuse("GetAttributes"); }
    int SetProfileInfo(const char*, int, const CmsObjectInfo*) override { return Refuse("SetProfileInfo"); }
    int CreateTransformFromProfiles(int, const char**, const int*, CmsHandle*) override
    {
        return Refuse("CreateTransformFromProfiles");
    }
    int ApplyChain(int, CmsChainEntry*, CCmsImageDesc*, CCmsImageDesc*) override { return Refuse("ApplyChain"); }
    int LoadObject(const char*, CmsHandle*) override { return Refuse("LoadObject"); }
    int SaveObject(CmsHandle*, const char*) override { return Refuse("SaveObject"); }
    int CombineChain(int, CmsChainEntry*, CmsHandle*) override { return Refuse("CombineChain"); }
    int BeginAttributeSearch(int, int, int, ...) override { return Refuse("BeginAttributeSearch"); }

    // When true the image-file operations write raw rows; the block numbered m_nFailingBlock (from
    // 0) and every later one fail as on a full disk.
    bool m_bWritesFiles = false;
    int m_nFailingBlock = -1;
    int m_nBlocksWritten = 0;
    int m_nWriteCalls = 0;

private:
    int Refuse(const char* operation);

    int m_nError = 0;
    std::string m_strError;
    FILE* m_pFile = nullptr;
};
