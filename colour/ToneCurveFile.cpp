#include "colour/ToneCurveFile.h"

#include "colour/CmsResult.h"
#include "core/cms/CmsEngine.h"
#include "core/cms/CmsEngineInstance.h"
#include "core/messages/MessageReporter.h"

namespace {

constexpr int kMsgFileUnreadable = 3508;

}  // namespace

void CEngineToneCurves::Fit(int index, uint32_t max, uint32_t count)
{
    if (CEngineCurve* curve = m_Set.GetCurve(index))
        curve->Fit(max, count);
}

float CEngineToneCurves::Evaluate(int index, float x)
{
    CEngineCurve* curve = m_Set.GetCurve(index);
    return curve != nullptr ? curve->EvaluateFitted(x) : x;
}

CToneCurveSet* LoadToneCurveFile(const char* path)
{
    auto* curves = new CEngineToneCurves(path);
    if (curves->IsLoaded())
        return curves;
    // The scan goes on without a curve only after the user was told which file failed.
    if (g_pCmsEngine != nullptr && g_pCmsEngine->GetLastErrorCode() != 0)
        CheckCmsResult(1);
    else
        ReportMessage(kMsgFileUnreadable, path);
    delete curves;
    return nullptr;
}
