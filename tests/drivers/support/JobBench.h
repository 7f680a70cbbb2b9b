#pragma once

// What the family job tests share: a family bench whose scans run through the scan job into one
// output file beside the test program, removed before and after each case.

#include "core/scan/ScanJob.h"
#include "core/settings/ScanParams.h"
#include "tests/support/Screenshot.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// A little-endian 32-bit field of a file, as a BMP header holds it.
inline uint32_t Get32(const std::vector<uint8_t>& f, size_t at)
{
    return f[at] | (f[at + 1] << 8) | (f[at + 2] << 16) | (uint32_t(f[at + 3]) << 24);
}

template <class TBench>
class JobBench : public TBench {
protected:
    explicit JobBench(const char* fileName) : m_strFileName(fileName) {}

    void SetUp() override
    {
        TBench::SetUp();
        m_strPath = testsupport::ProgramDirectory() + m_strFileName;
        DeleteFileA(m_strPath.c_str());
    }
    void TearDown() override
    {
        DeleteFileA(m_strPath.c_str());
        TBench::TearDown();
    }

    // The selection of a job case at full scale, on the original of kind original; the job gives the
    // file its extension.
    void SelectForJob(int32_t type, int32_t resolution, int32_t original, int32_t left, int32_t top, int32_t width,
                      int32_t height)
    {
        this->SetIni("General", "File extension", "1");
        this->Select(type, resolution, left, top, width, height);
        this->m_Settings.SetParamAllTypes(kParamScale, 100);
        this->m_Settings.SetParam(kParamOriginal, original);
    }

    // The scan job's result for a whole scan of the current settings into the output file.
    uint16_t ScanToFile()
    {
        CScanJob job(&this->m_Settings, nullptr);
        uint16_t result = job.ScanToFile(m_strPath.c_str());
        job.EndScan();
        return result;
    }
    std::vector<uint8_t> ReadOutput() const
    {
        std::ifstream in(m_strPath, std::ios::binary);
        return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    std::string m_strPath;

private:
    std::string m_strFileName;
};
