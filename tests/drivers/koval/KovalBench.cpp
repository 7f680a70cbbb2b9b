#include "tests/drivers/koval/KovalBench.h"

#include <algorithm>

CBenchImage KovalBench::ReadImage(CScannerDriver& driver)
{
    CBenchImage image;
    image.bytesPerLine = m_Settings.GetBytesPerLine();
    uint32_t perTransfer = std::max<uint32_t>(driver.GetTransferSize() / image.bytesPerLine, 1);
    std::vector<uint8_t> buffer(size_t(perTransfer) * image.bytesPerLine);
    uint32_t total = m_Settings.GetLineCount();
    while (image.lines < total) {
        uint32_t n = std::min(perTransfer, total - image.lines);
        image.status = driver.ReadData(buffer.data(), 0, uint16_t(n), uint16_t(image.bytesPerLine));
        if (image.status != kDriverOk)
            return image;
        driver.PreProcessLines(buffer.data(), n, &m_Settings);
        image.bytes.insert(image.bytes.end(), buffer.begin(), buffer.begin() + size_t(n) * image.bytesPerLine);
        image.lines += n;
    }
    return image;
}
