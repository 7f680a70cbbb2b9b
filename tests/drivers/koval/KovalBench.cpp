#include "tests/drivers/koval/KovalBench.h"

#include "sim/SimOptions.h"

std::vector<CSimLogEntry> EntriesWithOpcode(const CVirtualTarget& target, uint8_t opcode)
{
    std::vector<CSimLogEntry> found;
    for (const CSimLogEntry& entry : target.Log()) {
        if (!entry.cdb.empty() && entry.cdb[0] == opcode)
            found.push_back(entry);
    }
    return found;
}

void KovalBench::Start(const std::vector<std::pair<std::string, std::string>>& options, ScsiDriverId id)
{
    m_pDriver.reset();
    m_Settings = CScanSettings();  // no setting of an earlier case leaks into this one
    CSimOptions simOptions;
    for (const auto& option : options)
        simOptions.Set(option.first, option.second);
    Connect(CreateKovalDevice(simOptions), id);
    m_pDriver = std::make_unique<CKovalDriver>();
    g_pScannerDriver = m_pDriver.get();
    m_pDriver->InitCapabilities();
    m_pDriver->SetDefaultSettings(&m_Settings);
}

void KovalBench::TearDown()
{
    m_pDriver.reset();
    DriverBench::TearDown();
}

void KovalBench::Select(int32_t type, int32_t resolution, int32_t left, int32_t top, int32_t width, int32_t height)
{
    m_Settings.SetParam(kParamImageType, type);
    m_Settings.SetParam(kParamResolution, resolution);
    m_Settings.SetParam(kParamSelLeft, left);
    m_Settings.SetParam(kParamSelTop, top);
    m_Settings.SetParam(kParamSelRight, left + width);
    m_Settings.SetParam(kParamSelBottom, top + height);
    m_Settings.SetParamAllTypes(kParamThreshold, 50);
}

uint16_t KovalBench::StartScan()
{
    CKovalDriver& d = *m_pDriver;
    uint16_t (*steps[])(CKovalDriver&, CScanSettings&) = {
        [](CKovalDriver& k, CScanSettings&) { return k.ReserveDevice(); },
        [](CKovalDriver& k, CScanSettings&) { return k.UpdateScanGeometry(); },
        [](CKovalDriver& k, CScanSettings&) { return k.SendLookupTables(); },
        [](CKovalDriver& k, CScanSettings& s) { return k.SetScanParameters(&s); },
        [](CKovalDriver& k, CScanSettings&) { return k.PrepareScan(); },
        [](CKovalDriver& k, CScanSettings&) { return k.StartScanCommand(0); },
    };
    for (auto step : steps) {
        uint16_t result = step(d, m_Settings);
        if (result != kDriverOk)
            return result;
    }
    return kDriverOk;
}

CKovalImage KovalBench::ScanFromReserve()
{
    CKovalImage image;
    image.status = StartScan();
    if (image.status == kDriverOk)
        image = ReadImage();
    m_pDriver->StopScan(0);
    return image;
}

CKovalImage KovalBench::ReadImage()
{
    // As the scan reader does it: blocks of whole lines sized by the transfer.
    CKovalImage image;
    CKovalDriver& d = *m_pDriver;
    image.bytesPerLine = m_Settings.GetBytesPerLine();
    uint32_t perTransfer = std::max<uint32_t>(d.GetTransferSize() / image.bytesPerLine, 1);
    std::vector<uint8_t> buffer(size_t(perTransfer) * image.bytesPerLine);
    uint32_t total = m_Settings.GetLineCount();
    while (image.lines < total) {
        uint32_t n = std::min(perTransfer, total - image.lines);
        image.status = d.ReadData(buffer.data(), 0, uint16_t(n), uint16_t(image.bytesPerLine));
        if (image.status != kDriverOk)
            return image;
        d.PreProcessLines(buffer.data(), n, &m_Settings);
        image.bytes.insert(image.bytes.end(), buffer.begin(), buffer.begin() + size_t(n) * image.bytesPerLine);
        image.lines += n;
    }
    return image;
}
