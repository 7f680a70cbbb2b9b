#include "tests/drivers/telmari/TelmariBench.h"

#include "core/settings/ScanSettings.h"

#include <algorithm>

void TelmariBench::Start(const CDeviceOptions& options, ScsiDriverId id)
{
    m_pDriver.reset();
    ConnectDevice(CreateTelmariDevice, options, id);
    bool plusFamily = std::any_of(options.begin(), options.end(), [](const auto& option) {
        return option.first == "model" && (option.second == "plus" || option.second == "ultra");
    });
    m_pDriver.reset(plusFamily ? new CTelmariUltraDriver : new CTelmariDriver);
    InstallDriver(*m_pDriver);
}

void TelmariBench::ShortenWaits(uint32_t busyScanMs, uint32_t readWaitMs)
{
    m_pDriver->m_nBusyScanLimit = busyScanMs;
    m_pDriver->m_nReadWaitLimit = readWaitMs;
}

CBenchImage TelmariBench::ReadImage(CScannerDriver& driver)
{
    int32_t type = m_Settings.GetCurrentType();
    if (type != kImageRgb && type != kImageCmyk)
        return DriverBench::ReadImage(driver);
    CBenchImage planes[3];
    for (int pass = 0; pass < 3; ++pass) {
        if (pass != 0) {
            uint16_t status = driver.StartPass(0, 0x80);
            if (status != kDriverOk) {
                planes[0].status = status;
                return planes[0];
            }
        }
        planes[pass] = DriverBench::ReadImage(driver);
        if (planes[pass].status != kDriverOk)
            return planes[pass];
    }
    CBenchImage image;
    uint32_t sample = m_Settings.GetBitsPerChannel() > 8 ? 2 : 1;
    image.lines = planes[2].lines;
    image.bytesPerLine = 3 * planes[0].bytesPerLine;
    image.bytes.resize(planes[2].bytes.size() * 3);
    uint8_t* out = image.bytes.data();
    for (size_t i = 0; i + sample <= planes[2].bytes.size(); i += sample) {
        for (const CBenchImage& plane : planes) {
            std::copy_n(&plane.bytes[i], sample, out);
            out += sample;
        }
    }
    return image;
}

CSimFault TelmariFault(SimFaultKind kind, int opcode, int count)
{
    CSimFault fault;
    fault.kind = kind;
    fault.opcode = opcode;
    fault.count = count;
    return fault;
}

CSimFault TelmariCheck(int opcode, uint8_t key, uint16_t code, int count)
{
    CSimFault fault = TelmariFault(SimFaultKind::Check, opcode, count);
    fault.sense = {key, uint8_t(code >> 8), uint8_t(code)};
    return fault;
}
