#include "SettingsTestSupport.h"

#include "core/messages/MessageReporter.h"
#include "core/settings/SettingsFile.h"
#include "framework/App.h"
#include "tests/support/Screenshot.h"

#include <windows.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write((const char*)bytes.data(), (std::streamsize)bytes.size());
}

void Put32(Bytes& bytes, size_t offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = (uint8_t)(value >> (8 * i));
}

void PutText(Bytes& bytes, size_t offset, const char* text)
{
    memcpy(&bytes[offset], text, strlen(text) + 1);
}

// Every box the reporter would show is counted instead.
int g_nBoxes = 0;
int WINAPI CountBox(HWND, LPCSTR, LPCSTR, UINT)
{
    ++g_nBoxes;
    return IDOK;
}

class SettingsFileTest : public SettingsTest {
protected:
    static void SetUpTestSuite()
    {
        s_IniPath = testsupport::ProgramDirectory() + "settings_test.ini";
        s_pApp = new CWinApp("core_settings_tests");
        s_pSavedProfile = s_pApp->m_pszProfileName;
        s_pApp->m_pszProfileName = s_IniPath.c_str();
        g_MessageReporter.SetBoxFunction(CountBox);
    }
    static void TearDownTestSuite()
    {
        g_MessageReporter.SetBoxFunction(nullptr);
        s_pApp->m_pszProfileName = s_pSavedProfile;
        delete s_pApp;
    }

    void SetUp() override
    {
        SettingsTest::SetUp();
        DeleteFileA(s_IniPath.c_str());
        m_Path = testsupport::ProgramDirectory() + "test.zlk";
        DeleteFileA(m_Path.c_str());
        g_MessageReporter.SetReportMode(kReportBox, CString());
        g_nBoxes = 0;
        g_bSimplifiedMode = 0;
        // Values the load's repairs leave alone, so that an untouched record compares equal.
        SetCurrentType(kImageRgb);
        m_Settings.SetParamAllTypes(kParamClipLow, 1000);
        m_Settings.SetParamAllTypes(kParamClipHigh, 1000);
        m_Settings.SetParamAllTypes(kParamCameraPreview, 150);
        m_Settings.SetParamAllTypes(kParamPreviewValue, 150);
    }

    void WriteIni(const char* section, const char* key, const char* value)
    {
        WritePrivateProfileStringA(section, key, value, s_IniPath.c_str());
    }
    int ReadIni(const char* section, const char* key, int defaultValue)
    {
        return (int)GetPrivateProfileIntA(section, key, defaultValue, s_IniPath.c_str());
    }

    // A record that differs from the fixture's in many places.
    void FillDistinct(CScanSettings& settings)
    {
        settings.SetParamAllTypes(kParamResolution, 600);
        settings.SetParam(kParamSelRight, 9000);
        settings.SetParamForType(kImageCmyk, kParamOutputBits, 16);
        settings.SetFlavorName(kImageGrey, "cool");
        settings.SetProfileName(4, "monitor");
        settings.CorrectionBlock().gamma[1] = 2.5f;
    }

    static std::string s_IniPath;
    static CWinApp* s_pApp;
    static LPCSTR s_pSavedProfile;
    std::string m_Path;
};

std::string SettingsFileTest::s_IniPath;
CWinApp* SettingsFileTest::s_pApp = nullptr;
LPCSTR SettingsFileTest::s_pSavedProfile = nullptr;

}  // namespace

TEST(SettingsSlot, SlotOfEachKind)
{
    struct Case { uint32_t kind; uint32_t slot; };
    const Case kCases[] = {
        {1, 0}, {2, 1}, {8, 3}, {1024, 10}, {0x4000, 14}, {0x80000000u, 31},
        {3, 2}, {0, 0}, {0x80000001u, 32},
    };
    for (const Case& c : kCases)
        EXPECT_EQ(c.slot, SettingsSlotForKind(c.kind)) << std::hex << c.kind;
}

TEST_F(SettingsFileTest, SlotHasTheStoredLayoutByteForByte)
{
    CScanSettings settings;
    settings.SetParamForType(kImageRgb, kParamWindow50, 300);
    settings.SetParamForType(kImageLineArt, kParamProfileDialog, -2);
    settings.SetFlavorName(kImageCmyk, "warm");
    settings.SetLinkName(kImageLineArt, "L");
    settings.SetFilmTypeName(kImageHalftone, "F");
    settings.SetProfileName(2, "sRGB");
    settings.CorrectionBlock().flags = 0x11223344;
    settings.CorrectionBlock().tail[19] = 0xAB;
    g_pScanSettings = &settings;
    m_Driver.m_nKind = 2;
    SaveSettings(m_Path.c_str());

    Bytes golden(2 * kSettingsSlotSize, 0);
    const size_t slot = kSettingsSlotSize;
    Put32(golden, slot + 0, 0x01020304);
    Put32(golden, slot + 4 + 580 * 3 + 4 * 50, 300);
    Put32(golden, slot + 4 + 4 * 144, 0xFFFFFFFE);
    PutText(golden, slot + 2904 + 4 * 255, "warm");
    PutText(golden, slot + 4179, "L");
    PutText(golden, slot + 5454 + 255, "F");
    PutText(golden, slot + 6729 + 2 * 255, "sRGB");
    Put32(golden, slot + 8004, 0x11223344);
    golden[slot + 14575] = 0xAB;
    EXPECT_EQ(golden, ReadBytes(m_Path));
    EXPECT_EQ(0, g_nBoxes);
}

TEST_F(SettingsFileTest, SavedRecordLoadsBack)
{
    FillDistinct(m_Settings);
    CScanSettings saved(m_Settings);
    SaveSettings(m_Path.c_str());

    CScanSettings other;
    other.SetParamAllTypes(kParamColourManagement, 0x1A);
    g_pScanSettings = &other;
    EXPECT_TRUE(LoadSettings(m_Path.c_str()));

    saved.SetParamAllTypes(kParamColourManagement, 0x1A);   // the loaded record keeps its own
    EXPECT_EQ(0, memcmp(&saved.Slot(), &other.Slot(), sizeof(CSettingsSlot)));
    EXPECT_STREQ("cool", other.GetFlavorName(kImageGrey));
    EXPECT_EQ(0, g_nBoxes);
    EXPECT_EQ(m_Path, std::string(AfxGetApp()->GetProfileString("General", "SettingsFile")));
}

TEST_F(SettingsFileTest, EachKindHasItsOwnSlot)
{
    m_Driver.m_nKind = 8;
    FillDistinct(m_Settings);
    SaveSettings(m_Path.c_str());
    Bytes file = ReadBytes(m_Path);
    ASSERT_EQ(4u * kSettingsSlotSize, file.size());
    EXPECT_EQ(Bytes(3 * kSettingsSlotSize, 0), Bytes(file.begin(), file.begin() + 3 * kSettingsSlotSize));

    // The bare driver finds its slot empty and keeps its record.
    m_Driver.m_nKind = 1;
    CScanSettings current;
    current.SetParamAllTypes(kParamImageType, kImageGrey);
    CScanSettings before(current);
    g_pScanSettings = &current;
    EXPECT_TRUE(LoadSettings(m_Path.c_str()));   // a file without this scanner's slot is no refusal
    EXPECT_EQ(kImageGrey, current.GetCurrentType());
    EXPECT_EQ(before.GetParam(kParamResolution), current.GetParam(kParamResolution));
    EXPECT_EQ(0, g_nBoxes);

    // Saving for kind 1 keeps kind 8's slot.
    SaveSettings(m_Path.c_str());
    m_Driver.m_nKind = 8;
    LoadSettings(m_Path.c_str());
    EXPECT_EQ(600, current.GetParam(kParamResolution));
    EXPECT_EQ(4u * kSettingsSlotSize, ReadBytes(m_Path).size());
}

TEST_F(SettingsFileTest, SaveForScannerChoosesTheSlotOfTheSave)
{
    WriteIni("General", "SaveForScanner", "2");
    FillDistinct(m_Settings);
    SaveSettings(m_Path.c_str());
    Bytes file = ReadBytes(m_Path);
    ASSERT_EQ(3u * kSettingsSlotSize, file.size());
    EXPECT_EQ(0x04, file[2 * kSettingsSlotSize]);

    CScanSettings current;
    g_pScanSettings = &current;
    LoadSettings(m_Path.c_str());              // kind 1 still reads slot 0, which is empty
    EXPECT_EQ(0, current.GetParam(kParamResolution));
    m_Driver.m_nKind = 4;
    LoadSettings(m_Path.c_str());
    EXPECT_EQ(600, current.GetParam(kParamResolution));

    // A slot no kind word can reach is not written; the kind's slot is used.
    WriteIni("General", "SaveForScanner", "400");
    m_Driver.m_nKind = 1;
    SaveSettings(m_Path.c_str());
    EXPECT_EQ(3u * kSettingsSlotSize, ReadBytes(m_Path).size());
    EXPECT_EQ(0x04, ReadBytes(m_Path)[0]);
}

TEST_F(SettingsFileTest, LoadRepairsValuesThatMustNotSurvive)
{
    struct Case { uint16_t id; int32_t stored; int32_t loaded; };
    const Case kCases[] = {
        {kParamRotation, 45, 0}, {kParamRotation, 270, 270}, {kParamMirror, 4, 0}, {kParamMirror, 3, 3},
        {kParamClipLow, 0, 500}, {kParamClipHigh, 0, 500}, {kParamCameraPreview, 0, 150},
        {kParamPreviewValue, 0, 150}, {kParamCameraState, 2, 0}, {kParamCameraState, 1, 1},
        {kParamColourManagement, 7, 1},   // always the value before the load
    };
    for (const Case& c : kCases) {
        CScanSettings stored(m_Settings);
        stored.SetParamAllTypes(c.id, c.stored);
        g_pScanSettings = &stored;
        SaveSettings(m_Path.c_str());

        CScanSettings current(m_Settings);
        current.SetParamAllTypes(kParamColourManagement, 1);
        g_pScanSettings = &current;
        LoadSettings(m_Path.c_str());
        for (int t = 0; t < kImageTypeCount; ++t)
            EXPECT_EQ(c.loaded, current.GetParamForType(t, c.id)) << "id " << c.id << " stored " << c.stored;
    }
}

namespace {

enum Damage { kCutShort, kForeignMagic, kOtherVersion, kBadImageType, kBadFormatIndex, kBadOriginal,
              kUnterminatedName, kMixedImageTypes };

struct RefusalCase {
    const char* name;
    Damage damage;
    int message;
};

const RefusalCase kRefusals[] = {
    {"cut short", kCutShort, kMsgSettingsFileRefused},
    {"foreign magic", kForeignMagic, kMsgSettingsFileRefused},
    {"other version", kOtherVersion, kMsgSettingsFileRefused},
    {"image type 7", kBadImageType, kMsgSettingsFileRefused},
    {"format index 99", kBadFormatIndex, kMsgSettingsFileRefused},
    {"original 3", kBadOriginal, kMsgSettingsFileRefused},
    {"unterminated name", kUnterminatedName, kMsgSettingsFileRefused},
    {"image types differ", kMixedImageTypes, kMsgSettingsFileRefused},
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class SettingsRefusalTest : public SettingsFileTest, public ::testing::WithParamInterface<RefusalCase> {
protected:
    void Damage(Bytes& file, ::Damage damage)
    {
        const size_t block3 = 4 + 580 * 3;
        switch (damage) {
        case kCutShort: file.resize(1000); break;
        case kForeignMagic: Put32(file, 0, 0xDEADBEEF); break;
        case kOtherVersion: WriteIni("General", "Version", "5"); break;
        case kBadImageType:
            for (int t = 0; t < kImageTypeCount; ++t)
                Put32(file, 4 + 580 * t, 7);
            break;
        case kBadFormatIndex: Put32(file, block3 + 4 * 20, 99); break;
        case kBadOriginal: Put32(file, block3 + 4 * 8, 3); break;
        case kUnterminatedName: memset(&file[4179 + 255], 'x', 255); break;
        case kMixedImageTypes: Put32(file, 4 + 580 * 2, 2); break;
        }
    }
};

}  // namespace

TEST_P(SettingsRefusalTest, IsReportedAndLosesNothing)
{
    const RefusalCase& c = GetParam();
    FillDistinct(m_Settings);
    SaveSettings(m_Path.c_str());
    Bytes file = ReadBytes(m_Path);
    Damage(file, c.damage);
    WriteBytes(m_Path, file);

    CScanSettings current;
    current.SetParamAllTypes(kParamImageType, kImageGrey);
    current.SetParamAllTypes(kParamClipLow, 1000);
    current.SetParamAllTypes(kParamClipHigh, 1000);
    current.SetParamAllTypes(kParamCameraPreview, 150);
    current.SetParamAllTypes(kParamPreviewValue, 150);
    CScanSettings before(current);
    g_pScanSettings = &current;
    EXPECT_FALSE(LoadSettings(m_Path.c_str()));   // the caller keeps its settings file

    EXPECT_EQ(1, g_nBoxes);
    EXPECT_EQ(c.message, g_MessageReporter.GetMessageId());
    EXPECT_EQ(file, ReadBytes(m_Path));
    EXPECT_EQ(0, memcmp(&before.Slot(), &current.Slot(), sizeof(CSettingsSlot)));
}

INSTANTIATE_TEST_SUITE_P(Damaged, SettingsRefusalTest, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& ch : name)
                                 if (!isalnum((unsigned char)ch))
                                     ch = '_';
                             return name;
                         });

TEST_F(SettingsFileTest, FailedSaveLeavesTheOldFile)
{
    SaveSettings(m_Path.c_str());
    Bytes old = ReadBytes(m_Path);
    FillDistinct(m_Settings);

    // Another process holds the file.
    HANDLE held = CreateFileA(m_Path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    SaveSettings(m_Path.c_str());
    CloseHandle(held);
    EXPECT_EQ(old, ReadBytes(m_Path));
    EXPECT_EQ(1, g_nBoxes);
    EXPECT_EQ(kMsgSettingsFileWrite, g_MessageReporter.GetMessageId());

    // The new file cannot be written beside the old one.
    std::string blocker = m_Path + ".tmp";
    ASSERT_TRUE(CreateDirectoryA(blocker.c_str(), nullptr));
    SaveSettings(m_Path.c_str());
    RemoveDirectoryA(blocker.c_str());
    EXPECT_EQ(old, ReadBytes(m_Path));
    EXPECT_EQ(2, g_nBoxes);
}

TEST_F(SettingsFileTest, BareNameLivesInTheProgramDirectory)
{
    std::string full = testsupport::ProgramDirectory() + "bare.zlk";
    DeleteFileA(full.c_str());
    SaveSettings("bare.zlk");
    EXPECT_EQ(kSettingsSlotSize, ReadBytes(full).size());
    EXPECT_EQ(full, std::string(AfxGetApp()->GetProfileString("General", "SettingsFile")));
    m_Settings.SetParam(kParamResolution, 1234);
    LoadSettings("bare.zlk");
    EXPECT_NE(1234, m_Settings.GetParam(kParamResolution));
    DeleteFileA(full.c_str());
}

TEST_F(SettingsFileTest, EmptyPathReadsOnlyTheIniValues)
{
    WriteIni("General", "PreviewBuffer", "64");
    WriteIni("Preview", "FrameX", "100");
    WriteIni("Preview", "FrameW", "500");
    g_bSimplifiedMode = 1;
    m_Settings.SetParamAllTypes(kParamRotation, 45);
    LoadSettings("");
    EXPECT_EQ(65536u, g_PreviewBufferBytes);
    EXPECT_EQ(45, m_Settings.GetParam(kParamRotation));    // no repairs without a file
    EXPECT_EQ(200, m_Settings.GetParam(kParamSelLeft));
    EXPECT_EQ(1200, m_Settings.GetParam(kParamSelRight));
    EXPECT_EQ(2000, m_Settings.GetParam(kParamSelBottom));
    EXPECT_EQ(0xFF04, m_Settings.GetParam(kParamToneCode));

    WriteIni("General", "PreviewBuffer", "0");
    LoadSettings("");
    EXPECT_EQ(131072u, g_PreviewBufferBytes);
}

TEST_F(SettingsFileTest, SaveWritesTheIniValuesThatGoWithTheRecord)
{
    m_Driver.SetProductName("MODEL X");
    m_Driver.m_nBlocking = 3;
    m_Settings.m_nVersion = 0x209;
    g_bSimplifiedMode = 1;
    m_Settings.SetParam(kParamSelLeft, 201);
    m_Settings.SetParam(kParamSelRight, 1001);
    m_Settings.SetParam(kParamScale, 80);
    SaveSettings("");
    EXPECT_EQ(3, ReadIni("MODEL X", "Blocking", -1));
    EXPECT_EQ(0x209, ReadIni("General", "Version", -1));
    EXPECT_EQ(100, ReadIni("Preview", "FrameX", -1));
    EXPECT_EQ(400, ReadIni("Preview", "FrameW", -1));
    EXPECT_EQ(80, ReadIni("Selections", "Scale", -1));
    EXPECT_EQ(-1, ReadIni("Selections", "Color", -1));   // no view to ask
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(m_Path.c_str()));
}

TEST_F(SettingsFileTest, PeekReadsOneStoredValue)
{
    FillDistinct(m_Settings);
    SaveSettings(m_Path.c_str());
    EXPECT_EQ(600, CScanSettings::PeekSlotParam(m_Path.c_str(), kParamResolution));
    EXPECT_EQ(9000, CScanSettings::PeekSlotParam(m_Path.c_str(), kParamSelRight));
    EXPECT_EQ(0, CScanSettings::PeekSlotParam(m_Path.c_str(), 145));
    m_Driver.m_nKind = 2;
    EXPECT_EQ(0, CScanSettings::PeekSlotParam(m_Path.c_str(), kParamResolution));
    EXPECT_EQ(0, CScanSettings::PeekSlotParam((m_Path + "x").c_str(), kParamResolution));
}
