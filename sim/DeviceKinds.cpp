#include "sim/DeviceKinds.h"

#include "sim/FennikDevice.h"
#include "sim/Koval2Device.h"
#include "sim/KovalDevice.h"
#include "sim/ZandorDevice.h"
#include "sim/TmrDevice.h"
#include "sim/TelmariDevice.h"
#include "sim/OstravelDevice.h"
#include "sim/KiltorraDevice.h"
#include "sim/LumetraDevice.h"
#include "sim/OrbelDevice.h"

namespace {

// A device that answers INQUIRY and the commands every scanner shares.
std::unique_ptr<CVirtualTarget> CreateGeneric(const CSimOptions& options)
{
    auto target = std::make_unique<CVirtualTarget>();
    target->SetInquiryImage(CVirtualTarget::MakeInquiryImage(
        uint8_t(options.Number("type", 6)), options.Text("vendor", "BRELVANE"),
        options.Text("product", "VIRTUAL DEVICE"), options.Text("revision", "1.00"),
        size_t(options.Number("inquirylength", 36))));
    return target;
}

struct CDeviceKind {
    const char* name;
    std::unique_ptr<CVirtualTarget> (*create)(const CSimOptions& options);
};

const CDeviceKind kKinds[] = {
    {"generic", CreateGeneric},
    {"koval2", CreateKoval2Device},
    {"fennik", CreateFennikDevice},
    {"koval", CreateKovalDevice},
    {"zandor", CreateZandorDevice},
    {"tmr", CreateTmrDevice},
    {"telmari", CreateTelmariDevice},
    {"pendaro", CreatePendaroDevice},
    {"ostravel", CreateOstravelDevice},
    {"kiltorra", CreateKiltorraDevice},
    {"lumetra", CreateLumetraDevice},
    {"orbel", CreateOrbelDevice},
};

}  // namespace

std::unique_ptr<CVirtualTarget> CreateVirtualDevice(const std::string& kind,
                                                    const CSimOptions& options)
{
    for (const CDeviceKind& entry : kKinds) {
        if (kind == entry.name)
            return entry.create(options);
    }
    return nullptr;
}
