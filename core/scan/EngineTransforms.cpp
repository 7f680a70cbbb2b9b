// Scan-time calls into the colour engine.

#include "core/scan/EngineTransforms.h"

#include "core/cms/CmsEngineInstance.h"
#include "core/messages/MessageReporter.h"
#include "core/settings/ScanSettings.h"

#include <cstring>

CEngineImageFile g_EngineImageFile;

namespace {

constexpr int kMsgEngineFailed = 3330;
constexpr int kMsgPipelineNotStarted = 3329;
constexpr int kMsgNoSteps = 3521;
constexpr int32_t kGreyWeights[3] = {77, 151, 28};

// Profile indices of the settings record's name table.
constexpr int kProfileInputReflective = 0;
constexpr int kProfileInputTransparent = 1;
constexpr int kProfileOutputRgb = 2;
constexpr int kProfileOutputCmyk = 3;
constexpr int kProfileMonitor = 4;
constexpr const char* kNoProfile = "None";

CmsHandle s_Chain;
bool s_bChainStarted = false;
CmsHandle s_MainTransform;
CmsHandle s_SecondaryTransform;

bool IsEmpty(const CmsHandle& handle)
{
    static const CmsHandle kZero = {};
    return memcmp(&handle, &kZero, sizeof handle) == 0;
}

void Release(CmsHandle& handle)
{
    if (g_pCmsEngine != nullptr && !IsEmpty(handle))
        g_pCmsEngine->FreeHandle(&handle);
    memset(&handle, 0, sizeof handle);
}

// 0 after reporting the engine's reason.
int EngineFailed()
{
    if (g_pCmsEngine == nullptr) {
        ReportMessage(kMsgPipelineNotStarted);
        return 0;
    }
    const char* text = g_pCmsEngine->GetLastErrorText();
    ReportMessage(kMsgEngineFailed, text != nullptr ? text : "");
    return 0;
}

int CreateStep(const COutputStep& step, CmsHandle* out)
{
    const float* p = step.params;
    switch (step.kind) {
    case 3: return g_pCmsEngine->CreateSharpenStep(out, (int)p[0], (int)p[1], (int)p[2], 0, nullptr, (int)p[3], 0);
    case 4: return g_pCmsEngine->CreateStep4(out, p[0], p[1], p[2]);
    case 6: return g_pCmsEngine->CreateStep6(out, 0, p[0], p[1], p[2], p[3]);
    case 8: return g_pCmsEngine->CreateStep8(out, p[0], p[1], p[2]);
    case 50: return g_pCmsEngine->CreateGreyStep(out, kGreyWeights[0], kGreyWeights[1], kGreyWeights[2]);
    default: return 1;
    }
}

// One engine object for the whole list; 0 on failure, reported.
int BuildChain(const COutputSteps& steps, CmsHandle* chain)
{
    if (g_pCmsEngine == nullptr)
        return EngineFailed();
    CmsHandle parts[COutputSteps::kMaxSteps] = {};
    CmsHandle* pointers[COutputSteps::kMaxSteps] = {};
    int result = 0;
    for (int i = 0; i < steps.count && result == 0; ++i) {
        result = CreateStep(steps.steps[i], &parts[i]);
        pointers[i] = &parts[i];
    }
    if (result == 0)
        result = g_pCmsEngine->CombineTransforms(chain, steps.count, pointers);
    if (result != 0)
        EngineFailed();
    for (int i = 0; i < steps.count; ++i)
        Release(parts[i]);
    return result == 0 ? 1 : 0;
}

}  // namespace

void COutputSteps::Add(int32_t kind, float a, float b, float c, float d)
{
    if (count >= kMaxSteps)
        return;
    steps[count] = COutputStep{kind, {a, b, c, d}};
    ++count;
}

int BeginOutputTransform(CDescriptorPair& pair, const COutputSteps& steps)
{
    EndOutputTransform();
    if (BuildChain(steps, &s_Chain) == 0)
        return 0;
    if (g_pCmsEngine->BeginBlockTransform(&s_Chain, &pair.source) != 0) {
        Release(s_Chain);
        return EngineFailed();
    }
    s_bChainStarted = true;
    return 1;
}

int RunOutputTransform(CDescriptorPair& pair, const COutputSteps& steps, int sizing)
{
    if (steps.count == 0) {
        ReportMessage(kMsgNoSteps);
        return 0;
    }
    CmsHandle chain = {};
    if (BuildChain(steps, &chain) == 0)
        return 0;
    int result = g_pCmsEngine->TransformImage(&chain, &pair.source, sizing != 0 ? 1 : 2);
    if (result != 0)
        EngineFailed();
    Release(chain);
    return result == 0 ? 1 : 0;
}

int TransformOutputBlock(CDescriptorPair& pair)
{
    if (!s_bChainStarted || g_pCmsEngine == nullptr)
        return EngineFailed();
    if (g_pCmsEngine->TransformBlock(&s_Chain, &pair.source, &pair.destination) != 0)
        return EngineFailed();
    return 1;
}

int EndOutputTransform()
{
    if (!s_bChainStarted)
        return 1;
    s_bChainStarted = false;
    int result = g_pCmsEngine != nullptr ? g_pCmsEngine->EndBlockTransform(&s_Chain) : 1;
    Release(s_Chain);
    return result == 0 ? 1 : 0;
}

namespace {

bool IsNone(const char* name)
{
    return name == nullptr || strcmp(name, kNoProfile) == 0;
}

int Connect(const char* from, const char* to, CmsHandle* transform)
{
    const char* names[2] = {from, to};
    const int flags[2] = {0, 0};
    return g_pCmsEngine->CreateTransformFromProfiles(2, names, flags, transform);
}

// The scan transforms of the current image type: 0 when built. With a monitor profile the image
// goes through the monitor's space, where the flavours act, unless the output profile is the
// monitor's own kind.
int BuildScanTransforms(const CScanSettings& s)
{
    int32_t type = s.GetCurrentType();
    bool film = s.GetParam(kParamOriginal) != 0;
    const char* input = s.GetProfileName(film ? kProfileInputTransparent : kProfileInputReflective);
    const char* output = type == kImageCmyk ? s.GetProfileName(kProfileOutputCmyk)
                         : type == kImageRgb ? s.GetProfileName(kProfileOutputRgb)
                                             : kNoProfile;
    if (IsNone(output))
        return 1;
    const char* monitor = s.GetProfileName(kProfileMonitor);
    if (IsNone(monitor))
        return Connect(input, output, &s_MainTransform);
    CmsObjectInfo info;
    if (g_pCmsEngine->GetProfileInfo(output, 0, &info) != 0)
        return 1;
    if (type == kImageRgb && info.classCode == kCmsClassMonitor)
        return Connect(input, output, &s_SecondaryTransform);
    if (Connect(input, monitor, &s_SecondaryTransform) != 0)
        return 1;
    return Connect(monitor, output, &s_MainTransform);
}

}  // namespace

int RebuildScanTransforms(CDescriptorPair&)
{
    FreeScanTransforms(0);
    if (g_pCmsEngine == nullptr || g_pScanSettings == nullptr)
        return EngineFailed();
    if (BuildScanTransforms(*g_pScanSettings) != 0)
        return EngineFailed();
    return 1;
}

int FreeScanTransforms(int)
{
    Release(s_MainTransform);
    Release(s_SecondaryTransform);
    return 1;
}

int OpenLinkTransform(CDescriptorPair&, const char* linkName)
{
    FreeMainTransform(0);
    if (g_pCmsEngine == nullptr)
        return EngineFailed();
    if (g_pCmsEngine->OpenLink(linkName, &s_MainTransform) != 0)
        return EngineFailed();
    return 1;
}

int ApplyMainTransformChecked(CDescriptorPair& pair)
{
    if (g_pCmsEngine == nullptr || IsEmpty(s_MainTransform))
        return EngineFailed();
    if (g_pCmsEngine->ApplyTransform(&s_MainTransform, &pair.source, &pair.destination) != 0)
        return EngineFailed();
    return 1;
}

int FreeMainTransform(int)
{
    Release(s_MainTransform);
    return 1;
}

int CEngineImageFile::Open(const char* path, CCmsImageDesc* desc, int flags)
{
    m_nBytes = 0;
    m_pDesc = desc;
    if (g_pCmsEngine == nullptr)
        return 1;
    return g_pCmsEngine->CreateImageFile(path, desc, flags, &m_nFileSlot);
}

int CEngineImageFile::Write(CCmsImageDesc* desc)
{
    if (g_pCmsEngine == nullptr)
        return 1;
    int result = g_pCmsEngine->WriteImageBlock(desc, &m_nFileSlot);
    if (result == 0)
        m_nBytes += (uint64_t)desc->height * (uint32_t)desc->channels[0].rowStep;
    return result;
}

int CEngineImageFile::Close(CCmsImageDesc* desc)
{
    m_pDesc = nullptr;
    if (g_pCmsEngine == nullptr)
        return 1;
    return g_pCmsEngine->CloseImageFile(desc, &m_nFileSlot);
}
