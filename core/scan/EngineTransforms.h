#pragma once

// The colour engine's side of a scan: the chain of processing steps, the profile and colour-link
// transforms, and the image file the engine writes. Each function calls the engine through its
// table (`g_pCmsEngine`); an operation the engine refuses is reported once with the engine's own
// text (message 3330) and ends with failure, so no block passes through unconverted.

#include "colour/CmsEngine.h"

#include <cstdint>

struct COutputStep {
    int32_t kind;           // 3 sharpen, 4 descreen, 6 resample, 8 threshold, 50 colour to grey
    float params[4];
};

struct COutputSteps {
    static constexpr int kMaxSteps = 6;
    int32_t count = 0;
    COutputStep steps[kMaxSteps] = {};

    void Add(int32_t kind, float a = 0, float b = 0, float c = 0, float d = 0);
};

// A source and a destination descriptor that the engine converts between.
struct CDescriptorPair {
    CCmsImageDesc source;
    CCmsImageDesc destination;
};

// Step chain: 1 on success, 0 on failure (reported).
int BeginOutputTransform(CDescriptorPair& pair, const COutputSteps& steps);
int RunOutputTransform(CDescriptorPair& pair, const COutputSteps& steps, int sizing);
int TransformOutputBlock(CDescriptorPair& pair);
int EndOutputTransform();

// Profile and colour-link transforms: 1 on success, 0 on failure (reported).
int RebuildScanTransforms(CDescriptorPair& pair);
int FreeScanTransforms(int unused);
int OpenLinkTransform(CDescriptorPair& pair, const char* linkName);
int ApplyMainTransformChecked(CDescriptorPair& pair);
int FreeMainTransform(int unused);

// The image file written by the engine. Each returns the engine's result, 0 on success.
class CEngineImageFile {
public:
    int Open(const char* path, CCmsImageDesc* desc, int flags);
    int Write(CCmsImageDesc* desc);
    int Close(CCmsImageDesc* desc);

    uint64_t m_nBytes = 0;

private:
    CCmsImageDesc* m_pDesc = nullptr;
    int32_t m_nFileSlot = 0;
};

extern CEngineImageFile g_EngineImageFile;
