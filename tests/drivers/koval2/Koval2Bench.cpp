#include "tests/drivers/koval2/Koval2Bench.h"

#include "sim/SimOptions.h"

void Koval2Bench::Start(const std::vector<std::pair<std::string, std::string>>& options, ScsiDriverId id)
{
    m_pDriver.reset();
    m_Settings = CScanSettings();       // no setting of an earlier case leaks into this one
    CSimOptions simOptions;
    for (const auto& option : options)
        simOptions.Set(option.first, option.second);
    Connect(CreateKoval2Device(simOptions), id);
    // Scans follow each other at once: no carriage return delay between test scans.
    SetIni("General", "DisableSleep", "1");
    m_pDriver = std::make_unique<CKoval2Driver>();
    g_pScannerDriver = m_pDriver.get();
    m_pDriver->InitCapabilities();
    m_pDriver->SetDefaultSettings(&m_Settings);
}

void Koval2Bench::TearDown()
{
    m_pDriver.reset();
    DriverBench::TearDown();
}

void Koval2Bench::Select(int32_t type, int32_t resolution, int32_t left, int32_t top, int32_t width,
                         int32_t height, int32_t bits)
{
    m_Settings.SetParam(kParamImageType, type);
    m_Settings.SetParam(kParamResolution, resolution);
    m_Settings.SetParam(kParamSelLeft, left);
    m_Settings.SetParam(kParamSelTop, top);
    m_Settings.SetParam(kParamSelRight, left + width);
    m_Settings.SetParam(kParamSelBottom, top + height);
    m_Settings.SetParam(kParamBitsPerChannel, bits);
    // The line-art threshold of a new settings record: the chart's own line art splits there too.
    m_Settings.SetParamAllTypes(kParamThreshold, 50);
}

CKoval2Image Koval2Bench::ScanFromPrescan()
{
    CKoval2Image image;
    image.status = m_pDriver->PrescanIfNeeded(&m_Settings, nullptr);
    if (image.status != kDriverOk)
        return image;
    return ScanFromReserve();
}

CKoval2Image Koval2Bench::ScanFromReserve()
{
    CKoval2Image image;
    CKoval2Driver& d = *m_pDriver;
    uint16_t (*steps[])(CKoval2Driver&, CScanSettings&) = {
        [](CKoval2Driver& k, CScanSettings&) { return k.ReserveDevice(); },
        [](CKoval2Driver& k, CScanSettings&) { return k.UpdateScanGeometry(); },
        [](CKoval2Driver& k, CScanSettings&) { return k.SendLookupTables(); },
        [](CKoval2Driver& k, CScanSettings& s) { return k.SetScanParameters(&s); },
        [](CKoval2Driver& k, CScanSettings&) { return k.PrepareScan(); },
        [](CKoval2Driver& k, CScanSettings&) { return k.StartScanCommand(0); },
    };
    for (auto step : steps) {
        image.status = step(d, m_Settings);
        if (image.status != kDriverOk) {
            d.StopScan(0);
            return image;
        }
    }
    image = ReadImage();
    d.StopScan(0);
    return image;
}

CKoval2Image Koval2Bench::ReadImage()
{
    // As the scan reader does it: blocks of whole lines sized by the transfer, each converted by
    // the driver, up to 30 empty rounds.
    CKoval2Image image;
    CKoval2Driver& d = *m_pDriver;
    image.bytesPerLine = m_Settings.GetBytesPerLine();
    uint32_t lineSize = d.GetLineOverhead() + image.bytesPerLine;
    uint32_t perTransfer = d.GetTransferSize() / lineSize;
    std::vector<uint8_t> buffer(d.GetTransferSize());
    uint32_t total = m_Settings.GetLineCount();
    while (image.lines < total) {
        uint32_t n = std::min(perTransfer, total - image.lines);
        uint32_t delivered = 0;
        for (int round = 0; round < 30 && delivered == 0; ++round) {
            image.status = d.ReadData(buffer.data(), 0, uint16_t(n), uint16_t(image.bytesPerLine));
            if (image.status != kDriverOk)
                return image;
            delivered = d.PostProcessLines(buffer.data(), n, &m_Settings, &image.postStatus);
            if (image.postStatus != 0)
                return image;
        }
        if (delivered == 0)
            break;
        image.bytes.insert(image.bytes.end(), buffer.begin(), buffer.begin() + delivered * image.bytesPerLine);
        image.lines += delivered;
    }
    return image;
}
