#pragma once

// The colour engine's table of operations, shared by the programs and the engine DLL. The order of
// the virtual functions is the order of the engine's table; both sides must be built from this
// header. Operations with variable arguments use the C calling convention (the compiler's rule
// for variadic members), the others the compiler's member convention.
//
// Unless noted, an operation returns 0 on success and 1 on failure; after a failure
// GetLastErrorCode and GetLastErrorText tell why.

#include <cstdint>

#include "core/cms/CmsRecords.h"

// A chain entry: a handle followed by an int32 set to 1.
struct CmsChainEntry {
    CmsHandle handle;
    int32_t enabled;
};
static_assert(sizeof(CmsChainEntry) == 68);

// One channel of an image descriptor.
struct CmsChannelDesc {
    int32_t reserved;
    uint8_t* data;
    int32_t bitsPerSample;
    int32_t pixelStep;   // bytes from one pixel to the next
    int32_t rowStep;     // bytes from one row to the next
};

class CDib;

// The image descriptor exchanged with the engine (432 bytes in the 32-bit build). The pixel base is
// channel 0's data pointer and channel c's sample lies channelOffset[c] bytes into a pixel; pixel
// and row steps are channel 0's. 9 to 16 bits per sample are 16-bit little-endian words with that
// many significant low bits.
struct CCmsImageDesc {
    int32_t imageWidth;
    int32_t imageHeight;
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
    int32_t reserved24;
    int32_t channelCount;
    CmsChannelDesc channels[16];
    int32_t channelOffset[16];
    float scale[2];
    int32_t reserved424;
    int32_t layout;      // pixel layout code, family 0xC00003

    // Stores the rectangle and returns the row step it gives: width x the pixel step, or the
    // bytes of width samples when no pixel step is set.
    int32_t SetGeometry(int32_t left, int32_t top, int32_t w, int32_t h);
    // Describes a bitmap of 8 or more bits per pixel whose pixels lie at bits: a 24-bit bitmap's
    // blue, green, red bytes are channels 2, 1, 0.
    void DescribeDib(const CDib& dib, uint8_t* bits);
};
#if INTPTR_MAX == INT32_MAX
static_assert(sizeof(CCmsImageDesc) == 432);
#endif

// The callbacks of SetAttributes category 5, called while the engine builds a transform.
using CmsProgressFn = void (__cdecl*)(void* context, int step, int total);
using CmsCancelledFn = int (__cdecl*)();

class CCmsEngine {
public:
    virtual int FreeHandle(CmsHandle* handle) = 0;
    // (category, object or null, code, value, ...)
    virtual int SetAttributes(int category, void* object, int code, ...) = 0;
    // mode 0: every profile; mode 1: objects matching the filter's input mode and output space.
    virtual int BeginProfileSearch(int mode, const CmsObjectInfo* filter) = 0;
    virtual int BeginFolderSearch() = 0;
    // 0 with a name, 0 with a null name at the end, 1 when no search is open.
    virtual int NextSearchResult(char** name) = 0;
    virtual int EndSearch() = 0;
    virtual int DeleteObject(int kind, const char* name) = 0;
    virtual int GetProfileInfo(const char* name, int flags, CmsObjectInfo* info) = 0;
    virtual int GetObjectInfo(const char* name, CmsObjectInfo* info) = 0;
    virtual int FormatInfoAttribute(const CmsObjectInfo* info, int code, char* text) = 0;

    virtual int OpenLink(const char* name, CmsHandle* handle) = 0;
    virtual int ApplyTransform(CmsHandle* transform, CCmsImageDesc* source,
                               CCmsImageDesc* destination) = 0;
    // (value count, class, values...)
    virtual int BuildProfile(int valueCount, int classCode, ...) = 0;

    virtual int TransformBlock(CmsHandle* transform, CCmsImageDesc* source,
                               CCmsImageDesc* destination) = 0;
    virtual int BeginBlockTransform(CmsHandle* transform, CCmsImageDesc* pair) = 0;
    virtual int EndBlockTransform(CmsHandle* transform) = 0;
    virtual int TransformImage(CmsHandle* transform, CCmsImageDesc* pair, int mode) = 0;

    // points: pointCount (x, y) pairs on 0..1, the sharpening's share by level; low and high on 0..1.
    virtual int CreateSharpenStep(CmsHandle* step, int kernel, float amount, int curveKind,
                                  int pointCount, const float* points, float low, float high) = 0;
    virtual int CreateStep6(CmsHandle* step, int mode, float a, float b, float c, float d) = 0;
    virtual int CombineTransforms(CmsHandle* out, int count, CmsHandle** steps) = 0;
    virtual int CreateStep4(CmsHandle* step, float a, float b, float c) = 0;
    virtual int CreateStep8(CmsHandle* step, float a, float b, float c) = 0;
    virtual int CreateGreyStep(CmsHandle* step, float red, float green, float blue) = 0;

    // The three image-file operations: non-zero is failure.
    virtual int CreateImageFile(const char* path, CCmsImageDesc* desc, int flags, int* fileSlot) = 0;
    virtual int WriteImageBlock(CCmsImageDesc* desc, int* fileSlot) = 0;
    virtual int CloseImageFile(CCmsImageDesc* desc, int* fileSlot) = 0;

    virtual int DetectImageBorders(void* record, CCmsImageDesc* desc) = 0;

    virtual int BeginCurveWrite(CmsHandle* curve, int pointCount, int curveCount, int flag,
                                float** xs, float** ys) = 0;
    virtual int ReadCurveFile(CmsHandle* curve, const char* path, int* pointCount,
                              int* curveCount, int* thirdCount, float** xs, float** ys) = 0;
    virtual int SetCurveDescription(CmsHandle* curve, const char* text) = 0;
    virtual int GetCurveDescription(CmsHandle* curve, char* text, int size) = 0;
    virtual int WriteCurveFile(CmsHandle* curve, const char* path) = 0;
    virtual int FitCurve(CmsHandle* fit, CmsHandle* table, const float* xs, const float* ys,
                         int count, int flags) = 0;
    virtual int EvaluateCurve(CmsHandle* fit, CmsHandle* table, float* x, float* y, int count) = 0;

    // The film-type operations return 0 for success.
    virtual int OpenFilmType(const char* name, CmsHandle* filmType) = 0;
    virtual int ComputeFilmCorrection(CmsHandle* filmType, CmsCorrectionBlock* block) = 0;
    // measurement: red, green, blue film base densities (D), then -1.
    virtual int RegisterFilmType(const char* baseName, const char* newName,
                                 const float* measurement) = 0;

    virtual int GetLastErrorCode() = 0;
    virtual const char* GetLastErrorText() = 0;

    virtual int OpenProfile(int flags, const char* name, CmsHandle* profile) = 0;
    // (category, object or null, code, out, ...)
    virtual int GetAttributes(int category, void* object, int code, ...) = 0;
    virtual int SetProfileInfo(const char* name, int flags, const CmsObjectInfo* info) = 0;
    virtual int CreateTransformFromProfiles(int count, const char** names, const int* flags,
                                            CmsHandle* transform) = 0;

    virtual int ApplyChain(int count, CmsChainEntry* entries, CCmsImageDesc* source,
                           CCmsImageDesc* destination) = 0;
    virtual int LoadObject(const char* path, CmsHandle* object) = 0;
    virtual int SaveObject(CmsHandle* object, const char* path) = 0;
    virtual int CombineChain(int count, CmsChainEntry* entries, CmsHandle* combined) = 0;
    // (category, code, value, ...)
    virtual int BeginAttributeSearch(int category, int code, int value, ...) = 0;

protected:
    ~CCmsEngine() = default;   // the DLL frees its instance through FreeCMSInstance
};

// The engine DLL's two exports, both with the C calling convention.
using GetCmsInstanceFn = CCmsEngine* (__cdecl*)(const char* engineDirectory);
using FreeCmsInstanceFn = void (__cdecl*)(CCmsEngine* instance);
constexpr const char* kGetCmsInstanceExport = "GetCMSInstance";
constexpr const char* kFreeCmsInstanceExport = "FreeCMSInstance";
