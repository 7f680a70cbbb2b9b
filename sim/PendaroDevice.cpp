#include "sim/PendaroDevice.h"

#include <algorithm>

namespace {

constexpr size_t kInquiryLength = 96;
constexpr uint8_t kSenseCommand = 0x81;
constexpr uint8_t kCommandInvalid = 0x01;
constexpr uint8_t kLutCommand = 0x27;
constexpr uint8_t kAccessoryFeeder = 0x01;

std::string ProductOfModel(const std::string& model)
{
    if (model == "pendaro2")
        return "Pendaro II";
    if (model == "dx690")
        return "DX-690";
    return "Pendaro";
}

}  // namespace

CPendaroDevice::CPendaroDevice(const CSimOptions& options)
    : CKoval2Device(options),
      m_grouping(uint8_t(options.Number("grouping", 1))),
      m_exposureLimit(uint8_t(options.Number("exposurelimit", 47)))
{
    std::string model = options.Text("model", "pendaro");
    m_biravo = false;
    m_product = options.Text("product", ProductOfModel(model));
    m_lutBits = uint8_t(options.Number("lut", 0x02));
    bool second = model == "pendaro2" || model == "dx690";
    m_opticalLow = second ? 400 : 300;
    m_opticalHigh = second ? 800 : 600;
}

std::unique_ptr<CVirtualTarget> CreatePendaroDevice(const CSimOptions& options)
{
    return std::make_unique<CPendaroDevice>(options);
}

void CPendaroDevice::UpdateInquiry()
{
    std::vector<uint8_t> image = MakeInquiryImage(6, m_vendor, m_product, "1.00", kInquiryLength);
    image[56] = m_scalingFlag ? 1 : 0;
    image[57] = uint8_t((m_deviceLineArt ? 0x01 : 0) | 0x04);
    image[59] = m_grouping == 8 ? 0x40 : 0;
    uint8_t accessories = 0;
    if (m_transparencyUnit)
        accessories |= 0x40;
    if (m_feederSheets >= 0)
        accessories |= 0x04 | 0x80;
    if (m_feederSheets > 0)
        accessories |= 0x08;
    image[63] = accessories;
    image[64] = m_highResolutionFlag ? 1 : 0;
    image[65] = m_longPage ? 0x02 : 0;
    image[66] = m_lutBits;
    image[73] = m_exposureLimit;
    m_inquiryImage = std::move(image);
}

uint32_t CPendaroDevice::LutEntries() const
{
    if (m_lutBits & 0x08)
        return 65536;
    if (m_lutBits & 0x04)
        return 4096;
    if (m_lutBits & 0x02)
        return 1024;
    return 256;
}

uint32_t CPendaroDevice::LutMaximum() const
{
    static const uint32_t kMaximum[4] = {255, 1023, 4095, 65535};
    return (m_lutBits & 0x80) != 0 ? 255 : kMaximum[(m_lutBits >> 5) & 3];
}

void CPendaroDevice::OnDownloadLut(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply)
{
    std::vector<uint8_t> data = io.TakeOut();
    uint32_t length = cdb.Be16(7);
    uint8_t tableByte = cdb.Byte(9);
    uint32_t entries = LutEntries();
    bool wide = length == 2 * entries;
    bool maximumNot255 = LutMaximum() != 255;
    if (cdb.Byte(2) != kLutCommand || length != data.size() || (length != entries && !wide) ||
        ((tableByte & 0x01) != 0) != maximumNot255) {
        VendorCheck(reply, kSenseCommand, kCommandInvalid);
        return;
    }
    std::vector<uint16_t> table;
    if (wide) {
        for (size_t i = 0; i + 1 < data.size(); i += 2)
            table.push_back(uint16_t(data[i] | (data[i + 1] << 8)));
    } else {
        table.assign(data.begin(), data.end());
    }
    m_lastLutBlock = std::move(data);
    m_lastTableByte = tableByte;
    m_luts[(tableByte >> 6) & 3] = std::move(table);
    m_deviceLines.clear();
}

bool CPendaroDevice::ResolutionFromPage(CKoval2Scan& scan) const
{
    const std::vector<uint8_t>& page = m_exposure[scan.mode == 3 ? 1 : 0];
    if (page.size() < 2)
        return false;
    // With the feeder the driver scales against the feeder's own 300/600 pixels per inch.
    int reference = (m_accessory & kAccessoryFeeder) != 0 ? (scan.highResolution ? 600 : 300)
                    : scan.highResolution ? m_opticalHigh : m_opticalLow;
    scan.xResolution = scan.yResolution = page[1] * reference / 100;
    return true;
}
