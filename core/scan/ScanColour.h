#pragma once

// What a scan asks of colour management: the chain of processing steps (colour to grey, threshold,
// descreening, resampling, sharpening), the profile or colour-link transforms of the chosen route,
// the flavour chain, and the image files the colour engine writes. The scan core calls ScanColour();
// the programs install colour management's table at start-up. Until they do (and in tools and tests
// that need none) the defaults below refuse every step and route with message 3515, so no block
// passes unconverted, while scans that need no colour management work as before.

#include "core/cms/CmsEngine.h"

#include <cstdint>

struct COutputStep {
    int32_t kind;  // 3 sharpen, 4 descreen, 6 resample, 8 line art, 50 colour to grey
    // sharpen: kernel, amount, curve choice, threshold (1/255); descreen: resolution, screen ruling,
    // target resolution; resample: source resolution twice, target resolution twice; line art:
    // source and target resolution, threshold (0..1).
    float params[4];
};

struct COutputSteps {
    static constexpr int kMaxSteps = 10;
    int32_t count = 0;
    COutputStep steps[kMaxSteps] = {};

    void Add(int32_t kind, float a = 0, float b = 0, float c = 0, float d = 0);
    bool Has(int32_t kind) const;
};

// A source and a destination descriptor, one after the other as the engine reads a pair.
struct CDescriptorPair {
    CCmsImageDesc source;
    CCmsImageDesc destination;
};

class CScanColourServices {
public:
    virtual ~CScanColourServices() = default;

    // The step chain; each false after its failure was reported.
    virtual bool RunOutputTransform(CDescriptorPair& pair, const COutputSteps& steps, int sizing);
    virtual bool BeginOutputTransform(CDescriptorPair& pair, const COutputSteps& steps);
    virtual bool TransformOutputBlock(CDescriptorPair& pair);
    virtual bool EndOutputTransform();

    // The profile route's two transforms and the colour link's main transform; false after the
    // failure was reported.
    virtual bool RebuildScanTransforms(CDescriptorPair& pair);
    virtual void FreeScanTransforms();
    virtual bool OpenLinkTransform(CDescriptorPair& pair, const char* linkName);
    virtual void FreeMainTransform();
    // Each applies its transform when it is in use (true at once otherwise).
    virtual bool ApplySecondaryTransform(CDescriptorPair& pair);
    virtual bool ApplyMainTransform(CDescriptorPair& pair);
    virtual bool ApplyMainTransformChecked(CDescriptorPair& pair);

    // The current flavour chain: whether it has entries, and applying it to one block.
    virtual bool HasFlavourChain();
    virtual bool ApplyFlavourChain(CCmsImageDesc& source, CCmsImageDesc& destination);

    // The image file the engine writes; each returns the engine's result, 0 on success.
    virtual int OpenImageFile(const char* path, CCmsImageDesc* desc);
    virtual int WriteImageFile(CCmsImageDesc* desc);
    virtual int CloseImageFile(CCmsImageDesc* desc);
};

// The table in use: the installed one, else the defaults.
CScanColourServices& ScanColour();
// Installs a table (null: back to the defaults) and returns the one it replaces. The caller keeps
// ownership.
CScanColourServices* SetScanColourServices(CScanColourServices* services);

// Installs a table for the life of the object and puts the one before it back.
class CScanColourScope {
public:
    explicit CScanColourScope(CScanColourServices& services) : m_pPrevious(SetScanColourServices(&services)) { }
    ~CScanColourScope() { SetScanColourServices(m_pPrevious); }
    CScanColourScope(const CScanColourScope&) = delete;
    CScanColourScope& operator=(const CScanColourScope&) = delete;

private:
    CScanColourServices* m_pPrevious;
};
