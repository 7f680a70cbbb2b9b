// The families this build carries. A family adds one line here when its driver class exists; its
// factory returns a new driver, or null when memory ran out (allocate with new (std::nothrow)).
// The device search drops devices whose entry has no line (no driver to create for them).

#include "core/devices/ModelTable.h"
#include "drivers/fennik/FennikDriver.h"
#include "drivers/kiltorra/KiltorraDriver.h"
#include "drivers/koval/KovalDriver.h"
#include "drivers/koval2/Koval2Driver.h"
#include "drivers/zandor/ZandorDriver.h"
#include "drivers/tmr/TmrDriver.h"
#include "drivers/telmari/TelmariDriver.h"
#include "drivers/koval2/OstravelDriver.h"
#include "drivers/lumetra/LumetraDriver.h"
#include "drivers/orbel/OrbelDriver.h"

namespace {

struct CModelRegistration {
    ModelIndex index;
    DriverFactory create;
};

// Constant-initialised, so the entries of the model table can read it while they are constructed.
constexpr CModelRegistration kBuiltFamilies[] = {
    {kModelPendaro, &CreatePendaroDriver},
    {kModelKoval, &CreateKovalDriver},
    {kModelOstravel, &CreateOstravelDriver},
    {kModelKoval2, &CreateKoval2Driver},
    {kModelFennik, &CreateFennikDriver},
    {kModelZandor, &CreateZandorDriver},
    {kModelTmr, &CreateTmrDriver},
    {kModelTelmari, &CreateTelmariDriver},
    {kModelTelmariUltra, &CreateTelmariUltraDriver},
    {kModelKiltorra, &CreateKiltorraDriver},
    {kModelLumetra, &CreateLumetraDriver},
    {kModelOrbel, &CreateOrbelDriver},
};

}  // namespace

DriverFactory RegisteredDriverFactory(ModelIndex index)
{
    for (const CModelRegistration& entry : kBuiltFamilies)
        if (entry.index == index)
            return entry.create;
    return nullptr;
}
