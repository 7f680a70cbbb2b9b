#pragma once

// The base of the tests' colour engines: every operation refuses as one not in the engine build
// does (1, code 30, "<operation>: not available in this engine build"), filling no handle or
// output. A fake overrides only the operations its test plays a part in, so that an engine call
// the test did not expect fails where it is made.

#include "core/cms/CmsEngine.h"

#include <string>

class CRefusingCmsEngine : public CCmsEngine {
public:
    int FreeHandle(CmsHandle*) override { return Refuse("FreeHandle"); }
    int SetAttributes(int, void*, int, ...) override { return Refuse("SetAttributes"); }
    int BeginProfileSearch(int, const CmsObjectInfo*) override { return Refuse("BeginProfileSearch"); }
    int BeginFolderSearch() override { return Refuse("BeginFolderSearch"); }
    int NextSearchResult(char**) override { return Refuse("NextSearchResult"); }
    int EndSearch() override { return Refuse("EndSearch"); }
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
    int CreateSharpenStep(CmsHandle*, int, float, int, int, const float*, float, float) override
    {
        return Refuse("CreateSharpenStep");
    }
    int CreateStep6(CmsHandle*, int, float, float, float, float) override { return Refuse("CreateStep6"); }
    int CombineTransforms(CmsHandle*, int, CmsHandle**) override { return Refuse("CombineTransforms"); }
    int CreateStep4(CmsHandle*, float, float, float) override { return Refuse("CreateStep4"); }
    int CreateStep8(CmsHandle*, float, float, float) override { return Refuse("CreateStep8"); }
    int CreateGreyStep(CmsHandle*, float, float, float) override { return Refuse("CreateGreyStep"); }
    int CreateImageFile(const char*, CCmsImageDesc*, int, int*) override { return Refuse("CreateImageFile"); }
    int WriteImageBlock(CCmsImageDesc*, int*) override { return Refuse("WriteImageBlock"); }
    int CloseImageFile(CCmsImageDesc*, int*) override { return Refuse("CloseImageFile"); }
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

protected:
    int Refuse(const char* operation)
    {
        return Fail(30, std::string(operation) + ": not available in this engine build");
    }
    // The one way a fake reports a failure, so that GetLastErrorCode and GetLastErrorText tell it.
    int Fail(int code, const std::string& text)
    {
        m_nError = code;
        m_strError = text;
        return 1;
    }

private:
    int m_nError = 0;
    std::string m_strError;
};
