#include "colour/ScanTransforms.h"

#include "colour/CmsResult.h"
#include "colour/EngineCurve.h"
#include "core/cms/CmsEngineInstance.h"
#include "core/messages/MessageReporter.h"
#include "core/settings/ScanSettings.h"

#include <algorithm>
#include <cstring>
#include <memory>

CEngineImageFile g_EngineImageFile;

namespace {

constexpr int kMsgNoSteps = 3521;
constexpr int kMsgChooseProfiles = 3332;
constexpr const char* kNoProfile = "None";

// Profile entries of the settings record.
constexpr int kProfileInputReflective = 0;
constexpr int kProfileInputTransparent = 1;
constexpr int kProfileOutputRgb = 2;
constexpr int kProfileOutputCmyk = 3;
constexpr int kProfileMonitor = 4;

constexpr int kSharpenCurveKind = 3;
// A screen's dots are sharp edges: a descreened image gets a higher sharpening threshold, so the
// sharpening does not bring the screen back.
constexpr int32_t kDescreenThresholdRaise = 3;

std::unique_ptr<CmsHandle> s_pMainTransform;
std::unique_ptr<CmsHandle> s_pSecondaryTransform;
bool s_bMainInUse = false;
bool s_bSecondaryInUse = false;
// Whether the last build asked the engine anything, so that its last error is this build's.
bool s_bAskedEngine = false;

CmsHandle s_OutputTransform;
CmsHandle s_StepRecords[COutputSteps::kMaxSteps];

void Free(std::unique_ptr<CmsHandle>& transform)
{
    if (transform && g_pCmsEngine != nullptr)
        g_pCmsEngine->FreeHandle(transform.get());
    transform.reset();
}

bool IsNone(const char* name)
{
    return name == nullptr || name[0] == '\0' || strcmp(name, kNoProfile) == 0;
}

// 1 when the transform cannot be allocated, else the engine's result.
int Connect(const char* from, const char* to, std::unique_ptr<CmsHandle>& transform)
{
    transform.reset(new (std::nothrow) CmsHandle());
    if (!transform)
        return 1;
    s_bAskedEngine = true;
    const char* names[2] = {from, to};
    const int flags[2] = {0, 0};
    return g_pCmsEngine->CreateTransformFromProfiles(2, names, flags, transform.get());
}

int ApplyTransform(const std::unique_ptr<CmsHandle>& transform, CDescriptorPair& pair)
{
    if (!transform || g_pCmsEngine == nullptr)
        return 1;
    return g_pCmsEngine->ApplyTransform(transform.get(), &pair.source, &pair.destination);
}

// The point curve on 0..1 that scales the sharpening by level, as (x, y) pairs: the six-point curve
// spares the deepest shadows and the brightest highlights, the four-point one only the highlights.
int SharpenCurve(int32_t curveChoice, float points[12])
{
    static const float kSpareBoth[12] = {0, 0, 10 / 255.0f, 0, 15 / 255.0f, 1, 240 / 255.0f, 1, 250 / 255.0f, 0, 1, 0};
    static const float kSpareHighlights[8] = {0, 1, 240 / 255.0f, 1, 250 / 255.0f, 0, 1, 0};
    if (curveChoice != 0) {
        memcpy(points, kSpareBoth, sizeof kSpareBoth);
        return 6;
    }
    memcpy(points, kSpareHighlights, sizeof kSpareHighlights);
    return 4;
}

int CreateSharpenStep(const COutputSteps& steps, const COutputStep& step, CmsHandle* record)
{
    int kernel = (int)step.params[0];
    float amount = step.params[1];
    int32_t threshold = (int32_t)step.params[3];
    if (steps.Has(4))
        threshold += kDescreenThresholdRaise;
    float points[12];
    int count = SharpenCurve((int32_t)step.params[2], points);
    float low = (float)std::max(threshold - 5, 0) / 255.0f;
    float high = (float)threshold / 255.0f;
    return g_pCmsEngine->CreateSharpenStep(record, kernel, amount, kSharpenCurveKind, count, points, low, high);
}

// The resampling mode: bilinear for deep grey and line-art data, bicubic otherwise.
int ResampleMode()
{
    const CScanSettings* s = g_pScanSettings;
    bool deep = s != nullptr && s->GetParam(kParamBitsPerChannel) > 8;
    bool grey = s != nullptr && s->GetCurrentType() < kImageRgb;
    return deep && grey ? 1 : 2;
}

// The engine's result for one step, 0 for a kind it does not know: that record stays empty.
int CreateStep(const COutputSteps& steps, const COutputStep& step, CmsHandle* record)
{
    const float* p = step.params;
    switch (step.kind) {
    case 3: return CreateSharpenStep(steps, step, record);
    case 4: return g_pCmsEngine->CreateStep4(record, p[0], p[1], p[2]);
    case 6: return g_pCmsEngine->CreateStep6(record, ResampleMode(), p[0], p[1], p[2], p[3]);
    case 8: return g_pCmsEngine->CreateStep8(record, p[0], p[1], p[2]);
    case 50: return g_pCmsEngine->CreateGreyStep(record, 77.0f, 151.0f, 28.0f);
    default: return 0;
    }
}

void FreeStepRecords()
{
    for (CmsHandle& record : s_StepRecords)
        FreeCmsHandle(record);
}

}  // namespace

int BuildScanTransforms()
{
    s_bMainInUse = s_bSecondaryInUse = false;
    const CScanSettings* s = g_pScanSettings;
    if (s == nullptr || g_pCmsEngine == nullptr)
        return 1;
    int32_t type = s->GetCurrentType();
    bool film = s->GetParam(kParamOriginal) != 0;
    const char* input = s->GetProfileName(film ? kProfileInputTransparent : kProfileInputReflective);
    const char* output = type == kImageCmyk ? s->GetProfileName(kProfileOutputCmyk)
                         : type == kImageRgb ? s->GetProfileName(kProfileOutputRgb)
                                             : kNoProfile;
    if (IsNone(output))
        return 1;
    const char* monitor = s->GetProfileName(kProfileMonitor);
    if (IsNone(monitor)) {
        s_bMainInUse = true;
        return Connect(input, output, s_pMainTransform);
    }
    CmsObjectInfo info;
    s_bAskedEngine = true;
    if (g_pCmsEngine->GetProfileInfo(output, 0, &info) == 1)
        return 1;
    if (type == kImageRgb && info.classCode == kCmsClassMonitor) {
        s_bSecondaryInUse = true;
        return Connect(input, output, s_pSecondaryTransform);
    }
    if (Connect(input, monitor, s_pSecondaryTransform) == 1)
        return 1;
    s_bMainInUse = s_bSecondaryInUse = true;
    return Connect(monitor, output, s_pMainTransform);
}

bool RebuildScanTransforms(CDescriptorPair&)
{
    FreeScanTransforms();
    s_bAskedEngine = false;
    if (BuildScanTransforms() != 1)
        return true;
    // Without an engine reason the settings name no profile to convert with.
    if (s_bAskedEngine && g_pCmsEngine->GetLastErrorCode() != 0)
        CheckCmsResult(1);
    else
        ReportMessage(kMsgChooseProfiles);
    FreeScanTransforms();
    return false;
}

int FreeScanTransforms()
{
    Free(s_pMainTransform);
    Free(s_pSecondaryTransform);
    s_bMainInUse = s_bSecondaryInUse = false;
    return 1;
}

int FreeMainTransform()
{
    Free(s_pMainTransform);
    s_bMainInUse = false;
    return 1;
}

bool OpenLinkTransform(CDescriptorPair&, const char* linkName)
{
    FreeMainTransform();
    if (g_pCmsEngine == nullptr)
        return false;
    s_pMainTransform.reset(new (std::nothrow) CmsHandle());
    if (!s_pMainTransform)
        return false;
    if (!CheckCmsResult(g_pCmsEngine->OpenLink(linkName, s_pMainTransform.get()))) {
        s_pMainTransform.reset();
        return false;
    }
    s_bMainInUse = true;
    return true;
}

int ApplySecondaryTransform(CDescriptorPair& pair) { return ApplyTransform(s_pSecondaryTransform, pair); }

int ApplyMainTransform(CDescriptorPair& pair) { return ApplyTransform(s_pMainTransform, pair); }

bool ApplyMainTransformChecked(CDescriptorPair& pair) { return CheckCmsResult(ApplyMainTransform(pair)); }

bool IsSecondaryTransformInUse() { return s_bSecondaryInUse && s_pSecondaryTransform; }

bool IsMainTransformInUse() { return s_bMainInUse && s_pMainTransform; }

bool BuildOutputTransform(const COutputSteps& steps)
{
    if (g_pCmsEngine == nullptr)
        return false;
    FreeStepRecords();
    for (int i = 0; i < steps.count; ++i)
        if (!CheckCmsResult(CreateStep(steps, steps.steps[i], &s_StepRecords[i]))) {
            FreeStepRecords();
            return false;
        }
    FreeCmsHandle(s_OutputTransform);
    bool built = true;
    if (steps.count >= 2) {
        CmsHandle* records[COutputSteps::kMaxSteps];
        for (int i = 0; i < steps.count; ++i)
            records[i] = &s_StepRecords[i];
        built = CheckCmsResult(g_pCmsEngine->CombineTransforms(&s_OutputTransform, steps.count, records));
    } else {
        // The single step becomes the output transform: its record must not free it again.
        s_OutputTransform = s_StepRecords[0];
        memset(&s_StepRecords[0], 0, sizeof s_StepRecords[0]);
    }
    FreeStepRecords();
    return built;
}

bool RunOutputTransform(CDescriptorPair& pair, const COutputSteps& steps, int sizing)
{
    if (steps.count == 0) {
        ReportMessage(kMsgNoSteps);
        return false;
    }
    if (!BuildOutputTransform(steps))
        return false;
    bool ran = CheckCmsResult(g_pCmsEngine->TransformImage(&s_OutputTransform, &pair.source, sizing != 0 ? 1 : 2));
    bool freed = g_pCmsEngine->FreeHandle(&s_OutputTransform) != 1;
    memset(&s_OutputTransform, 0, sizeof s_OutputTransform);
    return ran && freed;
}

bool BeginOutputTransform(CDescriptorPair& pair, const COutputSteps& steps)
{
    if (!BuildOutputTransform(steps))
        return false;
    return CheckCmsResult(g_pCmsEngine->BeginBlockTransform(&s_OutputTransform, &pair.source));
}

bool TransformOutputBlock(CDescriptorPair& pair)
{
    if (g_pCmsEngine == nullptr)
        return false;
    return CheckCmsResult(g_pCmsEngine->TransformBlock(&s_OutputTransform, &pair.source, &pair.destination));
}

bool EndOutputTransform()
{
    if (s_OutputTransform.IsEmpty() || g_pCmsEngine == nullptr)
        return true;
    if (!CheckCmsResult(g_pCmsEngine->EndBlockTransform(&s_OutputTransform)))
        return false;
    bool freed = g_pCmsEngine->FreeHandle(&s_OutputTransform) != 1;
    memset(&s_OutputTransform, 0, sizeof s_OutputTransform);
    return freed;
}

int CEngineImageFile::Open(const char* path, CCmsImageDesc* desc, int flags)
{
    m_nLinesWritten = 0;
    m_nOpenError = 0;
    if (g_pCmsEngine == nullptr)
        return 1;
    int result = g_pCmsEngine->CreateImageFile(path, desc, flags, m_FileSlot);
    if (result == 1)
        m_nOpenError = g_pCmsEngine->GetLastErrorCode();
    return result;
}

int CEngineImageFile::Write(CCmsImageDesc* desc)
{
    if (g_pCmsEngine == nullptr)
        return 1;
    int result = g_pCmsEngine->WriteImageBlock(desc, m_FileSlot);
    m_nLinesWritten += desc->height;
    return result;
}

int CEngineImageFile::Close(CCmsImageDesc* desc)
{
    if (g_pCmsEngine == nullptr)
        return 1;
    return g_pCmsEngine->CloseImageFile(desc, m_FileSlot);
}
