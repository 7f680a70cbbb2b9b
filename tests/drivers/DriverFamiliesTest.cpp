// The start-up's registration of the built families with the model table: this program registers
// them as brelvane does, before its first case, and every entry then creates its own class.

#include "core/devices/ModelTable.h"
#include "drivers/DriverFamilies.h"
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

#include <gtest/gtest.h>

#include <memory>
#include <typeinfo>

namespace {

// Registered from main, not from a static object: the model table's entries are constructed in
// another unit, and one constructed after the registration would forget its factory.
class CDriverFamiliesEnvironment : public ::testing::Environment {
public:
    void SetUp() override { RegisterDriverFamilies(); }
};

const auto* const g_pFamilies = ::testing::AddGlobalTestEnvironment(new CDriverFamiliesEnvironment);

}  // namespace

TEST(DriverFamiliesTest, EveryEntryCreatesItsOwnClass)
{
    struct Case {
        ModelIndex index;
        const std::type_info& type;
    };
    // The exact class: the PENDARO and OSTRAVEL drivers derive from the KOVAL II driver, the ULTRA's
    // from the TELMARI's, so a line that registered the base would pass a looser check.
    const Case kCases[] = {
        {kModelPendaro, typeid(CPendaroDriver)},
        {kModelKoval, typeid(CKovalDriver)},
        {kModelOstravel, typeid(COstravelDriver)},
        {kModelOrbel, typeid(COrbelDriver)},
        {kModelTmr, typeid(CTmrDriver)},
        {kModelTelmari, typeid(CTelmariDriver)},
        {kModelTelmariUltra, typeid(CTelmariUltraDriver)},
        {kModelKiltorra, typeid(CKiltorraDriver)},
        {kModelZandor, typeid(CZandorDriver)},
        {kModelKoval2, typeid(CKoval2Driver)},
        {kModelLumetra, typeid(CLumetraDriver)},
        {kModelFennik, typeid(CFennikDriver)},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.type.name());
        ASSERT_TRUE(g_ModelDescriptors[c.index]->IsCarried());
        std::unique_ptr<CScannerDriver> driver(g_ModelDescriptors[c.index]->Create());
        ASSERT_NE(nullptr, driver);
        EXPECT_TRUE(typeid(*driver) == c.type);
    }
}
