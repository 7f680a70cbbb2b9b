#include "core/driver/ScannerDriver.h"
#include "core/image/PrintForm.h"
#include "core/settings/ScanSettings.h"
#include "framework/App.h"
#include "tests/support/Screenshot.h"

#include "tests/support/TestApplication.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

const std::string g_IniPath = testsupport::ProgramDirectory() + "print_form_test.ini";

const auto* const g_pEnvironment = ::testing::AddGlobalTestEnvironment(
    new testsupport::CTestApplication("core_image_tests", g_IniPath, {.freshIni = true}));

class PrintFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_pScanSettings = &m_Settings;
        UseScanner(m_First, 0x8, "FIRST MODEL");
        UseScanner(m_Second, 0x20, "SECOND MODEL");
        m_Table.m_Entries[2].m_nWidth = 21001;
        m_Table.m_Entries[2].m_nHeight = 29700;
        m_Table.m_Entries[2].m_nOffsetX = 300;
        m_Table.m_Entries[2].m_nOffsetY = 11;
        for (int t = 0; t < kImageTypeCount; ++t)
            m_Settings.Slot().m_nParams[t][kParamFormatIndex] = 2;
        g_pScannerDriver = &m_First;
    }
    void TearDown() override
    {
        g_pScannerDriver = nullptr;
        g_pScanSettings = nullptr;
    }
    void UseScanner(CScannerDriver& driver, uint32_t kind, const char* product)
    {
        driver.m_nKind = kind;
        driver.SetProductName(product);
        driver.m_pFormatTable = &m_Table;
        AfxGetApp()->WriteProfileString(product, nullptr, nullptr);
    }
    static std::unique_ptr<CDib> Picture(uint8_t shade)
    {
        auto dib = std::make_unique<CDib8>(33, 17, 50);
        memset(dib->m_pBits, shade, dib->m_nStride * dib->m_nHeight);
        return dib;
    }

    CScanSettings m_Settings;
    CFormatTable m_Table;
    CScannerDriver m_First;
    CScannerDriver m_Second;
};

}  // namespace

TEST_F(PrintFormTest, AFirstStartHasNoImageAndTheSelectedFormat)
{
    CPrintForm form;
    EXPECT_EQ(nullptr, form.m_pImage);
    EXPECT_EQ(10500, form.m_nFormX);
    EXPECT_EQ(14850, form.m_nFormY);
    EXPECT_EQ(150, form.m_nOffsetX);
    EXPECT_EQ(5, form.m_nOffsetY);
    EXPECT_EQ(3, form.m_nKindIndex);
    EXPECT_NE(nullptr, strstr(form.ImagePath(), "bv32_3.dib"));
}

TEST_F(PrintFormTest, EachScannerKindFindsItsOwnPreviewAgain)
{
    struct Case {
        CScannerDriver* driver;
        uint8_t shade;
        int32_t formX;
    };
    const Case cases[] = {{&m_First, 0x11, 100}, {&m_Second, 0x77, 200}};
    for (const Case& c : cases) {
        g_pScannerDriver = c.driver;
        CPrintForm form;
        form.SetForm(Picture(c.shade).release(), c.formX, 2, 3, 4);
    }
    // The format selection changed meanwhile: the stored area wins.
    for (int t = 0; t < kImageTypeCount; ++t)
        m_Settings.Slot().m_nParams[t][kParamFormatIndex] = 0;
    for (const Case& c : cases) {
        g_pScannerDriver = c.driver;
        CPrintForm form;
        ASSERT_NE(nullptr, form.m_pImage);
        EXPECT_EQ(33, form.m_pImage->m_pHeader->biWidth);
        EXPECT_EQ(17u, form.m_pImage->m_nHeight);
        EXPECT_EQ(c.shade, form.m_pImage->m_pBits[0]);
        EXPECT_EQ(c.shade, form.m_pImage->m_pBits[form.m_pImage->m_nStride * 17 - 1]);
        EXPECT_EQ(c.formX, form.m_nFormX);
        EXPECT_EQ(4, form.m_nOffsetY);
    }
}

TEST_F(PrintFormTest, SavingWithoutAnImageLeavesNoImageForTheNextStart)
{
    {
        CPrintForm form;
        form.SetForm(Picture(0x40).release(), 1, 2, 3, 4);
    }
    {
        CPrintForm form;
        ASSERT_NE(nullptr, form.m_pImage);
        form.SetForm(nullptr, 5, 6, 7, 8);
    }
    CPrintForm form;
    EXPECT_EQ(nullptr, form.m_pImage);
    EXPECT_EQ(10500, form.m_nFormX);
}

TEST_F(PrintFormTest, AFileThatIsNotABitmapGivesNoImage)
{
    std::string path = testsupport::ProgramDirectory() + "not_a_bitmap.dib";
    for (const char* content : {"XY not a bitmap at all, just text", "BM"}) {
        FILE* file = fopen(path.c_str(), "wb");
        fputs(content, file);
        fclose(file);
        AfxGetApp()->WriteProfileString("FIRST MODEL", "FileName", path.c_str());
        CPrintForm form;
        EXPECT_EQ(nullptr, form.m_pImage);
    }
    DeleteFileA(path.c_str());
}
