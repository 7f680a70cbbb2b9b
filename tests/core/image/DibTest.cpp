#include "core/image/Dib.h"
#include "core/image/FileHuge.h"
#include "framework/File.h"
#include "tests/support/Screenshot.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

struct StrideCase {
    uint32_t width;
    uint32_t bitCount;
    uint32_t stride;
};

const StrideCase kStrides[] = {
    {1, 1, 4},   {32, 1, 4},   {33, 1, 8},  {3, 24, 12}, {4, 24, 12},
    {5, 24, 16}, {1, 8, 4},    {4, 8, 4},   {5, 8, 8},   {9, 4, 8},
};

TEST(Dib, RowStridesAreFourByteAligned)
{
    for (const StrideCase& c : kStrides) {
        EXPECT_EQ(CDib::RowStride(c.width, c.bitCount), c.stride) << c.width << "x" << c.bitCount;
        CDib dib;
        dib.Create(c.width, 2, c.bitCount, 300);
        ASSERT_NE(dib.m_pBits, nullptr);
        EXPECT_EQ(dib.m_nStride, c.stride);
        EXPECT_EQ(dib.m_pHeader->biSizeImage, 2 * c.stride);
    }
}

struct LayoutCase {
    std::unique_ptr<CDib> (*make)();
    uint32_t bitCount;
    uint32_t colors;
    uint32_t bitsOffset;
    uint32_t clrUsed;
};

const LayoutCase kLayouts[] = {
    {[] { return std::unique_ptr<CDib>(new CDib1(10, 4, 300)); }, 1, 2, 48, 2},
    {[] { return std::unique_ptr<CDib>(new CDib8(10, 4, 300)); }, 8, 256, 1064, 256},
    {[] { return std::unique_ptr<CDib>(new CDib24(10, 4, 300)); }, 24, 0, 1064, 256},
};

TEST(Dib, HeaderTableAndFill)
{
    for (const LayoutCase& c : kLayouts) {
        std::unique_ptr<CDib> dib = c.make();
        ASSERT_NE(dib->m_pBits, nullptr);
        const uint8_t* block = reinterpret_cast<const uint8_t*>(dib->m_pHeader);
        EXPECT_EQ((uint32_t)(dib->m_pBits - block), c.bitsOffset) << c.bitCount;
        EXPECT_EQ((const uint8_t*)dib->m_pColorTable - block, 40) << c.bitCount;
        EXPECT_EQ(dib->m_nColors, c.colors);
        const BITMAPINFOHEADER& h = *dib->m_pHeader;
        EXPECT_EQ(h.biSize, 40u);
        EXPECT_EQ(h.biWidth, 10);
        EXPECT_EQ(h.biHeight, 4);
        EXPECT_EQ(h.biPlanes, 1);
        EXPECT_EQ(h.biBitCount, c.bitCount);
        EXPECT_EQ(h.biCompression, (DWORD)BI_RGB);
        EXPECT_EQ(h.biXPelsPerMeter, 11811);
        EXPECT_EQ(h.biYPelsPerMeter, 11811);
        EXPECT_EQ(h.biClrUsed, c.clrUsed);
        EXPECT_GE(GlobalSize(dib->m_hDib), 4 * dib->m_nStride + 1064);
        for (uint32_t i = 0; i < 4 * dib->m_nStride; ++i)
            ASSERT_EQ(dib->m_pBits[i], 0xBF) << c.bitCount << " byte " << i;
    }
}

bool SameColor(const RGBQUAD& q, BYTE r, BYTE g, BYTE b)
{
    return q.rgbRed == r && q.rgbGreen == g && q.rgbBlue == b;
}

TEST(Dib, ColourTables)
{
    CDib1 line(8, 1, 72);
    EXPECT_TRUE(SameColor(line.m_pColorTable[0], 255, 255, 255));
    EXPECT_TRUE(SameColor(line.m_pColorTable[1], 0, 0, 0));

    CDib8 grey(8, 1, 72);
    for (int i = 0; i < 256; ++i)
        ASSERT_TRUE(SameColor(grey.m_pColorTable[i], (BYTE)i, (BYTE)i, (BYTE)i)) << i;

    CDib24 colour(8, 1, 72);
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                ASSERT_TRUE(SameColor(colour.m_pColorTable[36 * r + 6 * g + b], (BYTE)(51 * r),
                                      (BYTE)(51 * g), (BYTE)(51 * b)));
    EXPECT_TRUE(SameColor(colour.m_pColorTable[215], 255, 255, 255));
}

TEST(Dib, UnsupportedDepthAndAbsurdSizeLeaveNoBlock)
{
    CDib odd;
    odd.Create(10, 10, 16, 300);
    EXPECT_EQ(odd.m_pBits, nullptr);
    EXPECT_EQ(odd.m_hDib, nullptr);

    // 100000 rows of 300000 bytes would wrap a 32-bit size to a small block.
    CDib24 huge(100000, 100000, 300);
    EXPECT_EQ(huge.m_pBits, nullptr);
    EXPECT_EQ(huge.m_hDib, nullptr);
}

TEST(Dib, ResizeKeepsHeaderWidthWithTheData)
{
    CDib24 dib(4, 3, 300);
    ASSERT_NE(dib.m_pBits, nullptr);
    dib.m_pBits[0] = 0x12;
    const HGLOBAL before = dib.m_hDib;

    // Width 3 has the same stride as width 4: the block stays, the header follows the width.
    dib.Resize(3, 3);
    EXPECT_EQ(dib.m_hDib, before);
    EXPECT_EQ(dib.m_pBits[0], 0x12);
    EXPECT_EQ(dib.m_pHeader->biWidth, 3);

    dib.Resize(20, 7);
    ASSERT_NE(dib.m_pBits, nullptr);
    EXPECT_EQ(dib.m_pHeader->biWidth, 20);
    EXPECT_EQ(dib.m_pHeader->biHeight, 7);
    EXPECT_EQ(dib.m_nStride, 60u);
    EXPECT_EQ(dib.m_pHeader->biBitCount, 24);
    EXPECT_EQ(dib.m_pHeader->biXPelsPerMeter, 11811);
    EXPECT_EQ(dib.m_pBits[0], 0xBF);
}

// ImageMagick on the host reads the file; wine starts host programs through Z: and returns from
// the wait at once, so the answer is polled for.
std::string IdentifyOnHost(const std::string& fileName)
{
    const char* build = std::getenv("BRELVANE_BUILD_DIR");
    if (!build)
        return "";
    const std::string hostFile = std::string(build) + "/tests/" + fileName;
    const std::string hostOut = hostFile + ".txt";
    const std::string winOut = testsupport::ProgramDirectory() + fileName + ".txt";
    DeleteFileA(winOut.c_str());
    std::string command = "Z:\\bin\\sh -c \"identify -format '%w %h %z %r' " + hostFile + " > " +
                          hostOut + ".part; mv " + hostOut + ".part " + hostOut + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return "";
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    for (int waited = 0; waited < 20000; waited += 100) {
        std::ifstream in(winOut);
        if (in) {
            std::string answer((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            return answer.substr(0, answer.find_last_not_of(' ') + 1);
        }
        Sleep(100);
    }
    return "";
}

struct BmpCase {
    const char* file;
    uint32_t width, height, bitCount;
    uint32_t offBits;
    const char* identified;
};

const BmpCase kBmps[] = {
    {"dib1.bmp", 37, 5, 1, 62, "37 5 1 PseudoClass Gray"},
    {"dib8.bmp", 30, 6, 8, 1078, "30 6 8 PseudoClass Gray"},
    {"dib24.bmp", 13, 4, 24, 1078, "13 4 8 DirectClass sRGB"},
};

TEST(Dib, WriteBmpIsReadBack)
{
    for (const BmpCase& c : kBmps) {
        CDib dib;
        dib.Create(c.width, c.height, c.bitCount, 300);
        ASSERT_NE(dib.m_pBits, nullptr);
        // Varied pixels, so that a reader cannot settle for fewer bits.
        for (uint32_t i = 0; i < dib.m_nStride * c.height; ++i)
            dib.m_pBits[i] = (uint8_t)(i * 37 + i / 3);
        const std::string path = testsupport::ProgramDirectory() + c.file;
        {
            CFile file;
            ASSERT_TRUE(file.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite));
            EXPECT_EQ(dib.WriteBmp(file), 1);
            file.Close();
        }
        std::ifstream in(path, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_GE(bytes.size(), 14u + 40u);
        EXPECT_EQ(bytes[0], 'B');
        EXPECT_EQ(bytes[1], 'M');
        uint32_t size, offBits;
        std::memcpy(&size, &bytes[2], 4);
        std::memcpy(&offBits, &bytes[10], 4);
        EXPECT_EQ(size, bytes.size()) << c.file;
        EXPECT_EQ(offBits, c.offBits) << c.file;
        EXPECT_EQ(std::memcmp(&bytes[offBits], dib.m_pBits, dib.m_nStride * c.height), 0) << c.file;

        EXPECT_EQ(IdentifyOnHost(c.file), c.identified) << c.file;
    }
}

TEST(FileHuge, ChunkedTransfersAndShortFiles)
{
    const std::string path = testsupport::ProgramDirectory() + "huge.bin";
    std::vector<uint8_t> data(200000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = (uint8_t)(i ^ (i >> 8));
    {
        CFile file;
        ASSERT_TRUE(file.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite));
        EXPECT_EQ(WriteFileHuge(file, data.data(), (uint32_t)data.size()), 1);
    }
    CFile file;
    ASSERT_TRUE(file.Open(path.c_str(), CFile::modeRead));
    std::vector<uint8_t> back(300000, 0xEE);
    // More than the file holds: a short file is no error.
    EXPECT_EQ(ReadFileHuge(file, back.data(), (uint32_t)back.size()), 1);
    EXPECT_EQ(std::memcmp(back.data(), data.data(), data.size()), 0);
    EXPECT_EQ(back[data.size()], 0xEE);

    // A file opened for reading only refuses to be written.
    EXPECT_EQ(WriteFileHuge(file, data.data(), 10), 0);
}

}  // namespace
