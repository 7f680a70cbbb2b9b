#include "tests/drivers/koval2/Koval2Bench.h"

void Koval2Bench::Start(const CDeviceOptions& options, ScsiDriverId id)
{
    // Scans follow each other at once: no carriage return delay between test scans.
    SetIni("General", "DisableSleep", "1");
    FamilyBench::Start(options, id);
}

void Koval2Bench::Select(int32_t type, int32_t resolution, int32_t left, int32_t top, int32_t width,
                         int32_t height, int32_t bits)
{
    DriverBench::Select(type, resolution, left, top, width, height);
    m_Settings.SetParam(kParamBitsPerChannel, bits);
}

CBenchImage Koval2Bench::ScanFromPrescan()
{
    CBenchImage image;
    image.status = m_pDriver->PrescanIfNeeded(&m_Settings, nullptr);
    if (image.status != kDriverOk)
        return image;
    return ScanFromReserve();
}
