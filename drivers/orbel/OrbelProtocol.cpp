// The text commands of an ORBEL 35 scan: set-up with the gamma lines, the passes through the three
// filters, the image lines behind their data-available headers, the drain and the end commands.

#include "drivers/orbel/OrbelDriver.h"

#include "core/messages/MessageReporter.h"
#include "core/scan/ScanServices.h"
#include "core/scsi/ScsiBuffer.h"
#include "core/scsi/ScsiChannel.h"
#include "core/settings/ScanSettings.h"
#include "core/util/GlobalBlock.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t kCommandReadyMs = 5000;
constexpr uint32_t kReplyReadyMs = 20000;
constexpr uint32_t kParametersReadyMs = 60000;
constexpr uint32_t kTransferTimeout = 30000;
constexpr int kSenseBytes = 32;
constexpr uint8_t kDataTypeCommand = 0;
constexpr uint8_t kDataTypeReply = 1;
constexpr uint8_t kDataTypeImage = 0;
constexpr int32_t kAutomaticFocus = 65280;
constexpr uint32_t kLutEntries = 256;
constexpr int kMsgNoMemory = 3317;
constexpr int kMsgStopping = 3297;

// Formats at the end of text, never past its size; the length written.
size_t AppendText(char* text, size_t at, size_t size, const char* format, ...)
{
    if (at >= size)
        return 0;
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(text + at, size - at, format, args);
    va_end(args);
    return n < 0 ? 0 : std::min(size_t(n), size - at - 1);
}

}  // namespace

uint16_t COrbelDriver::SendOrbelCommand(const char* format, ...)
{
    if (g_pScsiChannel == nullptr)
        return kDriverFailed;
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(m_szCommand, sizeof m_szCommand - 2, format, args);
    va_end(args);
    size_t length = n < 0 ? 0 : std::min(size_t(n), sizeof m_szCommand - 3);
    std::memcpy(m_szCommand + length, "\r\n", 3);
    length += 2;
    uint16_t result = WaitReady(kCommandReadyMs);
    if (result != kDriverOk)
        return result;
    CScsiExternalBuffer text(m_szCommand, uint32_t(length));
    result = g_pScsiChannel->Send10(text, kDataTypeCommand, 0, kTransferTimeout, kSenseBytes);
    if (result != kDriverOk)
        return result;
    return std::strstr(m_szCommand, ",R") != nullptr ? ReadOrbelReply() : uint16_t(kDriverOk);
}

uint16_t COrbelDriver::ReadOrbelReply()
{
    uint16_t result = WaitReady(kReplyReadyMs);
    if (result != kDriverOk)
        return result;
    // The answer byte carries nothing the host needs: only the read's result counts.
    CScsiFixedBuffer<1> answer;
    return g_pScsiChannel->Read10(answer, 1, kDataTypeReply, 0, true, kTransferTimeout, kSenseBytes);
}

uint16_t COrbelDriver::SendCommandBlock(uint8_t* block, uint32_t length)
{
    block[length] = '\r';
    block[length + 1] = '\n';
    CScsiExternalBuffer data(block, length + 2);
    return g_pScsiChannel->Send10(data, kDataTypeCommand, 0, kTransferTimeout, kSenseBytes);
}

uint16_t COrbelDriver::DownloadOrbelGamma(uint8_t* block, uint32_t blockBytes, int channelMode)
{
    CScopedBlock table(kLutEntries * sizeof(uint16_t), GMEM_MOVEABLE | GMEM_ZEROINIT);
    if (block == nullptr || table.Data() == nullptr) {
        ReportMessage(kMsgNoMemory);
        return kDriverAborted;
    }
    uint16_t* entries = static_cast<uint16_t*>(table.Data());
    int tables = channelMode == 0 ? 1 : 3;
    char* text = reinterpret_cast<char*>(block);
    // Room for the line end after the text.
    size_t room = blockBytes - 2;
    for (int n = 1; n <= tables; ++n) {
        BuildScannerLut(entries, kLutEntries, 255, tables == 1 ? 0 : n, 1000);
        size_t length = AppendText(text, 0, room, "WGM%dT", n);
        for (uint32_t i = 0; i < kLutEntries; ++i)
            length += AppendText(text, length, room, ",%d", int(entries[i]));
        uint16_t result = SendCommandBlock(block, uint32_t(length));
        if (result != kDriverOk)
            return result;
    }
    return kDriverOk;
}

uint16_t COrbelDriver::SendLookupTables()
{
    if (g_pScanSettings == nullptr || g_pScsiChannel == nullptr)
        return kDriverFailed;
    uint32_t mode = g_pScanSettings->GetScanMode();
    uint16_t result = SendSetupCommands(mode);
    if (result != kDriverOk)
        return result;
    CScopedBlock block(kGammaBlockBytes, GMEM_MOVEABLE | GMEM_ZEROINIT);
    return DownloadOrbelGamma(static_cast<uint8_t*>(block.Data()), kGammaBlockBytes, mode == 3 ? 3 : 0);
}

uint16_t COrbelDriver::SendSetupCommands(uint32_t mode)
{
    const CScanSettings& settings = *g_pScanSettings;
    uint16_t result = SendOrbelCommand("APIN");
    if (result == kDriverOk)
        result = SendOrbelCommand("OUT8");
    if (result != kDriverOk)
        return result;
    int32_t focus = settings.GetParam(kParamDriverGamma);
    result = focus == kAutomaticFocus ? SendOrbelCommand("AF,R")
                                      : SendOrbelCommand("SFC%ld", long(float(focus) * 13.6f / 10.0f + 10.4f));
    if (result != kDriverOk)
        return result;
    // The device has film only: a reflective original cannot be scanned.
    if (settings.GetParam(kParamOriginal) == 0)
        return kDriverFailed;
    const char* const kFixed[] = {mode == 3 ? "CP" : "MP", "GML8", "IF15", "SPUP", "NHD", "AP50", "AVOF", "SDON"};
    for (const char* command : kFixed) {
        result = SendOrbelCommand(command);
        if (result != kDriverOk)
            return result;
    }
    result = SendDensity(mode == 3 ? kParamMinDensityRed : kParamMinDensity);
    for (const char* command : {"BRT0", "CNT0", "SFT0"}) {
        if (result != kDriverOk)
            return result;
        result = SendOrbelCommand(command);
    }
    return result;
}

uint16_t COrbelDriver::SendDensity(uint16_t param)
{
    uint32_t density = (uint32_t)std::max<int32_t>(g_pScanSettings->GetParam(param), 0);
    density = std::clamp(density, GetMinDensity(0), GetMinDensityCeiling(0));
    return SendOrbelCommand("DN%02d", int(OrbelDensityValue(density)));
}

uint16_t COrbelDriver::SendMove()
{
    const CScanSettings& settings = *g_pScanSettings;
    return SendOrbelCommand(
        "MV%d,R", int(OrbelSteps(settings.GetParam(kParamSelTop) + settings.GetParam(kParamOriginY))));
}

uint16_t COrbelDriver::SendWindow()
{
    const CScanSettings& settings = *g_pScanSettings;
    int32_t x = settings.GetParam(kParamOriginX);
    int32_t y = settings.GetParam(kParamOriginY);
    return SendOrbelCommand("BXZ %ld,%ld,%ld,%ld,%ld,%ld,V", long(OrbelSteps(settings.GetParam(kParamSelTop) + y)),
                            long(OrbelSteps(settings.GetParam(kParamSelLeft) + x)),
                            long(OrbelSteps(settings.GetParam(kParamSelBottom) + y)),
                            long(OrbelSteps(settings.GetParam(kParamSelRight) + x)), long(StepFactorY()),
                            long(StepFactorX()));
}

uint16_t COrbelDriver::SetScanParameters(CScanSettings* settings)
{
    if (settings == nullptr || g_pScanSettings == nullptr)
        return kDriverFailed;
    uint16_t result = WaitReady(kParametersReadyMs);
    if (result == kDriverOk)
        result = SendOrbelCommand(settings->GetScanMode() == 3 ? "FR,R" : "FG,R");
    if (result == kDriverOk)
        result = SendOrbelCommand("GM1T8");
    if (result == kDriverOk)
        result = SendMove();
    return result;
}

uint16_t COrbelDriver::StartScanCommand(uint8_t)
{
    if (g_pScanSettings == nullptr)
        return kDriverFailed;
    m_nPass = 0;
    m_nLinesRead = 0;
    return SendWindow();
}

uint16_t COrbelDriver::StartPass(int32_t, int32_t)
{
    if (g_pScanSettings == nullptr)
        return kDriverFailed;
    ++m_nPass;
    uint16_t result = Drain(true);
    if (result != kDriverOk)
        return result;
    m_nLinesRead = 0;
    if (m_nPass != 1 && m_nPass != 2)
        return kDriverFailed;
    result = SendOrbelCommand(m_nPass == 1 ? "FG,R" : "FB,R");
    if (result == kDriverOk)
        result = SendDensity(m_nPass == 1 ? kParamMinDensityGreen : kParamMinDensityBlue);
    if (result == kDriverOk)
        result = SendOrbelCommand("GM%dT8", m_nPass + 1);
    if (result == kDriverOk)
        result = SendMove();
    if (result == kDriverOk)
        result = SendWindow();
    return result;
}

uint16_t COrbelDriver::ReadHeader(uint32_t& count)
{
    CScsiFixedBuffer<4> header;
    uint8_t* data = header.GetData();
    std::memset(data, 0xFF, 4);
    uint16_t result = g_pScsiChannel->Read10(header, 4, kDataTypeImage, 0, true, kTransferTimeout, kSenseBytes);
    count = (uint32_t(data[1]) << 8) | data[2];
    return result;
}

uint16_t COrbelDriver::ReadBytes(void* destination, uint32_t bytes)
{
    CScsiExternalBuffer data(destination, bytes);
    return g_pScsiChannel->Read10(data, bytes, kDataTypeImage, 0, true, kTransferTimeout, kSenseBytes);
}

uint16_t COrbelDriver::DropBytes(uint32_t count)
{
    // Any count is read, in pieces the one block holds; a count left unread would be announced
    // again by every later header.
    CScopedBlock piece(kDrainPiece);
    if (piece.Data() == nullptr)
        return kDriverFailed;
    while (count != 0) {
        uint32_t bytes = std::min(count, kDrainPiece);
        uint16_t result = ReadBytes(piece.Data(), bytes);
        if (result != kDriverOk)
            return result;
        count -= bytes;
    }
    return kDriverOk;
}

uint16_t COrbelDriver::Drain(bool passStart)
{
    uint32_t count = 0;
    do {
        uint16_t result = WaitReady(kCommandReadyMs);
        if (result != kDriverOk)
            return result;
        uint16_t header = ReadHeader(count);
        if (header != kDriverOk && header != kDriverAborted)
            return header;
        // A pass start takes one byte even when nothing is announced.
        uint32_t drop = count != 0 ? count : passStart ? 1 : 0;
        if (drop != 0)
            result = DropBytes(drop);
        if (header == kDriverAborted)
            return kDriverAborted;
        if (result != kDriverOk)
            return result;
    } while (count > 1);
    return kDriverOk;
}

uint16_t COrbelDriver::ReadData(uint8_t* buffer, uint8_t, uint16_t lines, uint16_t bytesPerLine)
{
    if (g_pScsiChannel == nullptr)
        return kDriverFailed;
    uint16_t result = WaitReady(kCommandReadyMs);
    if (result != kDriverOk)
        return result;
    for (uint32_t i = 0; i < lines; ++i) {
        uint32_t count = 0;
        uint16_t header = ReadHeader(count);
        if (header != kDriverOk && header != kDriverAborted)
            return header;
        // A line of another length than the window's is a transfer fault: cut or padded, it would
        // pass a damaged image as a good one. What the device still holds, the stop drains.
        if (count != bytesPerLine)
            return header == kDriverAborted ? kDriverAborted : kDriverFailed;
        result = ReadBytes(buffer + size_t(bytesPerLine) * i, count);
        if (result == kDriverOk)
            ++m_nLinesRead;
        if (header == kDriverAborted)
            return kDriverAborted;
        if (result != kDriverOk)
            return result;
    }
    return kDriverOk;
}

uint16_t COrbelDriver::SendEndCommands(bool aborted)
{
    const char* const kNormal[] = {"PSOF", "PVOF", "IF15"};
    const char* const kAborted[] = {"PVOF", "PSOF", "IF15"};
    for (const char* command : aborted ? kAborted : kNormal) {
        uint16_t result = SendOrbelCommand(command);
        if (result != kDriverOk)
            return result;
    }
    return kDriverOk;
}

uint16_t COrbelDriver::StopScan(int32_t flag)
{
    ReportScanStatus(kMsgStopping, 0);
    if (g_pScsiChannel == nullptr)
        return kDriverFailed;
    uint16_t result = WaitReady(kCommandReadyMs);
    if (result != kDriverOk)
        return result;
    m_nLinesRead = 0;
    FreeCorrectionBlockIfAny();
    if (flag == 0) {
        result = Drain(false);
        if (result != kDriverOk)
            return result;
    }
    SendEndCommands(flag != 0);
    result = SendOrbelCommand("INM");
    FreeCorrectionBlockIfAny();
    return result;
}
