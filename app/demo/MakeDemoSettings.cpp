// Writes the settings files of the colour-managed demonstration scans for the virtual KOVAL II into
// a folder (the run folder), with the program's own settings code, so that they always load:
//   CMPROF.ZLK  the profiles' transforms, 16 bits per RGB channel, no monitor profile
//   CMMON.ZLK   the profiles' transforms through the monitor profile GENERIC, 8 bits
//   CMLINK.ZLK  the stored colour links RGBLINK and CMYKLINK, 8 bits
//   CMTONE.ZLK  grey, grey and RGB through the curve file of [General] ToneCurve
// Each holds the batch defaults and the default profiles of the colour engine. The KOVAL II has no
// CMYK mode, so a batch line takes RGB from them; CMYK is what the files were left at.

#include "core/driver/ScanSettingsCreation.h"
#include "core/driver/ScannerDriver.h"
#include "core/settings/ScanSettings.h"
#include "core/settings/SettingsFile.h"
#include "drivers/koval2/Koval2Driver.h"
#include "framework/App.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

struct CDemoFile {
    const char* name;
    int32_t currentType;
    int32_t route;
    int32_t rgbBits;
    const char* monitor;
    bool links;
    int32_t toneCode;
};

constexpr int32_t kToneCurveFile = 0xFF07;  // the tone code that follows [General] ToneCurve

const CDemoFile kDemoFiles[] = {
    {"CMPROF.ZLK", kImageCmyk, 3, 16, "None", false, 0},
    {"CMMON.ZLK", kImageRgb, 3, 8, "GENERIC", false, 0},
    {"CMLINK.ZLK", kImageCmyk, 2, 8, "None", true, 0},
    {"CMTONE.ZLK", kImageGrey, 0, 8, "None", false, kToneCurveFile},
};

constexpr int32_t kReflective = 0;  // the original of parameter 8

const char* const kProfiles[] = {"REFLECT", "TRANSP", "RGBOUT", "CMYKOUT"};

void Describe(CScanSettings& s, const CDemoFile& file)
{
    for (int i = 0; i < 4; ++i)
        s.SetProfileName(i, kProfiles[i]);
    s.SetProfileName(4, file.monitor);
    for (int32_t type : {kImageRgb, kImageCmyk}) {
        s.SetParamForType((uint16_t)type, kParamColourRoute, file.route);
        s.SetParamForType((uint16_t)type, kParamOutputBits, 8);
    }
    // The scan's depth is the record's bits per channel; the window's bit count goes with it.
    s.SetParamForType(kImageRgb, kParamBitsPerChannel, file.rgbBits);
    s.SetParamForType(kImageRgb, kParamOutputBits, file.rgbBits);
    if (file.links) {
        s.SetLinkName(kImageRgb, "RGBLINK");
        s.SetLinkName(kImageCmyk, "CMYKLINK");
    }
    if (file.toneCode != 0) {
        s.SetParamForType(kImageGrey, kParamToneCode, file.toneCode);
        s.SetParamForType(kImageRgb, kParamToneCode, file.toneCode);
    }
    // Made without the scanner at hand, the defaults know neither that it takes reflective originals
    // nor its density range: the range is found from each scan instead.
    s.SetParamAllTypes(kParamOriginal, kReflective);
    s.SetParamAllTypes(kParamRangeMode, 0);
    s.SetParamAllTypes(kParamImageType, file.currentType);
}

bool Write(const std::string& folder, const CDemoFile& file)
{
    CreateFixedScanSettings();
    if (g_pScanSettings == nullptr)
        return false;
    Describe(*g_pScanSettings, file);
    std::string path = folder + file.name;
    DeleteFileA(path.c_str());
    SaveSettings(path.c_str());
    DeleteScanSettings();
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: make_demo_settings <folder>\n");
        return 2;
    }
    std::string folder = argv[1];
    if (!folder.empty() && folder.back() != '\\' && folder.back() != '/')
        folder += '\\';
    // The record's slot follows the driver's kind; its INI values go to a file of this tool's own.
    CWinApp app("make_demo_settings");
    std::string ini = folder + "demo_settings.ini";
    app.m_pszProfileName = ini.c_str();
    CScannerDriver driver;
    driver.m_nKind = kKindKoval2;
    g_pScannerDriver = &driver;
    int failures = 0;
    for (const CDemoFile& file : kDemoFiles)
        if (!Write(folder, file)) {
            fprintf(stderr, "make_demo_settings: %s%s could not be written\n", folder.c_str(), file.name);
            ++failures;
        }
    g_pScannerDriver = nullptr;
    DeleteFileA(ini.c_str());
    return failures == 0 ? 0 : 1;
}
