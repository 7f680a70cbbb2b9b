#include "tests/drivers/fennik/FennikBench.h"

#include "sim/SimOptions.h"

#include <algorithm>

void FennikBench::Start(const CDeviceOptions& options, ScsiDriverId id)
{
    m_pDriver.reset();
    m_Settings = CScanSettings();       // no setting of an earlier case leaks into this one
    CSimOptions simOptions;
    for (const auto& option : options)
        simOptions.Set(option.first, option.second);
    Connect(CreateFennikDevice(simOptions), id);
    m_pDriver = std::make_unique<CFennikDriver>();
    g_pScannerDriver = m_pDriver.get();
    m_pDriver->InitCapabilities();
    m_pDriver->SetDefaultSettings(&m_Settings);
}

void FennikBench::TearDown()
{
    m_pDriver.reset();
    DriverBench::TearDown();
}

void FennikBench::Select(int32_t type, int32_t resolution, int32_t left, int32_t top, int32_t width, int32_t height)
{
    m_Settings.SetParam(kParamImageType, type);
    m_Settings.SetParam(kParamResolution, resolution);
    m_Settings.SetParam(kParamSelLeft, left);
    m_Settings.SetParam(kParamSelTop, top);
    m_Settings.SetParam(kParamSelRight, left + width);
    m_Settings.SetParam(kParamSelBottom, top + height);
    m_Settings.SetParamAllTypes(kParamThreshold, 50);
}

std::vector<CSimLogEntry> FennikBench::Commands(std::initializer_list<uint8_t> opcodes) const
{
    std::vector<CSimLogEntry> found;
    for (const CSimLogEntry& entry : m_pTarget->Log()) {
        if (!entry.cdb.empty() && std::find(opcodes.begin(), opcodes.end(), entry.cdb[0]) != opcodes.end())
            found.push_back(entry);
    }
    return found;
}

CFennikImage FennikBench::Scan()
{
    CFennikImage image;
    CFennikDriver& d = *m_pDriver;
    uint16_t (*steps[])(CFennikDriver&, CScanSettings&) = {
        [](CFennikDriver& k, CScanSettings&) { return k.ReserveDevice(); },
        [](CFennikDriver& k, CScanSettings&) { return k.UpdateScanGeometry(); },
        [](CFennikDriver& k, CScanSettings&) { return k.SendLookupTables(); },
        [](CFennikDriver& k, CScanSettings& s) { return k.SetScanParameters(&s); },
        [](CFennikDriver& k, CScanSettings&) { return k.PrepareScan(); },
        [](CFennikDriver& k, CScanSettings&) { return k.StartScanCommand(0); },
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

CFennikImage FennikBench::ReadImage()
{
    // As the scan reader does it: blocks of whole lines sized by the transfer, each converted by
    // the driver, up to 30 empty rounds.
    CFennikImage image;
    CFennikDriver& d = *m_pDriver;
    image.bytesPerLine = m_Settings.GetBytesPerLine();
    uint32_t perTransfer = std::max<uint32_t>(d.GetTransferSize() / image.bytesPerLine, 1);
    std::vector<uint8_t> buffer(size_t(perTransfer) * image.bytesPerLine);
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
