// A family adds one line here when its driver class exists; its factory returns a new driver, or
// null when memory ran out (allocate with new (std::nothrow)).

#include "drivers/DriverFamilies.h"

#include "core/devices/ModelTable.h"
#include "drivers/fennik/FennikDriver.h"
#include "drivers/kiltorra/KiltorraDriver.h"
#include "drivers/koval/KovalDriver.h"
#include "drivers/koval2/Koval2Driver.h"
#include "drivers/koval2/OstravelDriver.h"
#include "drivers/koval2/PendaroDriver.h"
#include "drivers/lumetra/LumetraDriver.h"
#include "drivers/orbel/OrbelDriver.h"
#include "drivers/telmari/TelmariDriver.h"
#include "drivers/tmr/TmrDriver.h"
#include "drivers/zandor/ZandorDriver.h"

namespace {

struct CFamilyRegistration {
    ModelIndex index;
    DriverFactory create;
};

constexpr CFamilyRegistration kBuiltFamilies[] = {
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

void RegisterDriverFamilies()
{
    for (const CFamilyRegistration& family : kBuiltFamilies)
        RegisterDriverFactory(family.index, family.create);
}

bool FamilyTakesFeeder(uint32_t kind)
{
    return (kind & (kKindFennik | kKindPendaro | kKindPendaro2 | kKindOstravel)) != 0;
}
