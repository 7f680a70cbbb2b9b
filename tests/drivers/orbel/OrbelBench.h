#pragma once

// An ORBEL 35 driver over its virtual device, the passes of a scan run in the scan job's order, and
// the conversation as the device saw it: each text sent ("> NHD"), each read ("< type length").

#include "core/settings/ScanParams.h"
#include "drivers/orbel/OrbelDriver.h"
#include "sim/OrbelDevice.h"
#include "tests/drivers/support/DriverBench.h"

#include <string>
#include <vector>

class OrbelBench : public FamilyBench<COrbelDriver, COrbelDevice, CreateOrbelDevice> {
protected:
    // A film original (1 slide, 2 negative) of type at resolution; selection in 1/100 mm.
    void SelectFilm(int32_t type, int32_t resolution, int32_t original, int32_t left, int32_t top, int32_t width,
                    int32_t height)
    {
        Select(type, resolution, left, top, width, height);
        m_Settings.SetParam(kParamOriginal, original);
    }

    // StartScan, each pass's lines read as the scan reader does (StartPass before the second and
    // third), then StopScan(0) when all went well; the planes in pass order, and in result the first
    // failing result or that of StopScan.
    std::vector<CBenchImage> ScanPasses(uint16_t& result)
    {
        std::vector<CBenchImage> planes;
        result = StartScan();
        int passes = m_Settings.GetScanMode() == 3 ? 3 : 1;
        for (int pass = 0; result == kDriverOk && pass < passes; ++pass) {
            if (pass != 0)
                result = Driver().StartPass(0, pass);
            if (result != kDriverOk)
                break;
            planes.push_back(ReadImage(Driver()));
            result = planes.back().status;
        }
        if (result == kDriverOk)
            result = Driver().StopScan(0);
        return planes;
    }

    // The device's log without TEST UNIT READY; a gamma line as its first word and its length.
    std::vector<std::string> Conversation() const
    {
        std::vector<std::string> lines;
        for (const CSimLogEntry& entry : m_pTarget->Log()) {
            if (entry.cdb[0] == 0x2A) {
                std::string text(entry.dataOut.begin(), entry.dataOut.end());
                if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0)
                    text.resize(text.size() - 2);
                if (text.compare(0, 3, "WGM") == 0)
                    text = text.substr(0, text.find(',')) + " [" + std::to_string(entry.length) + "]";
                lines.push_back("> " + text);
            } else if (entry.cdb[0] == 0x28) {
                uint32_t length = (uint32_t(entry.cdb[6]) << 16) | (uint32_t(entry.cdb[7]) << 8) | entry.cdb[8];
                lines.push_back("< " + std::to_string(entry.cdb[2]) + " " + std::to_string(length));
            } else if (entry.cdb[0] != 0x00) {
                lines.push_back("? " + entry.CdbText());
            }
        }
        return lines;
    }
};
