#include "colour/FlavorFile.h"

#include "colour/CmsEngineLoader.h"
#include "framework/App.h"
#include "core/messages/MessageReporter.h"
#include "core/messages/MsgString.h"
#include "core/settings/ScanSettings.h"
#include "core/util/ByteOrder.h"
#include "core/util/ScopedFile.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

namespace {

constexpr uint32_t kFlavorMagic = 14517;
constexpr char kFlavorText[16] = "CMS Object list";
constexpr size_t kHeaderSize = 28;
constexpr const char* kPartFile = "TEMPFLV.TMP";
constexpr const char* kLastFlavorFolder = "thelast";

constexpr int kMsgUnreadable = 3310;
constexpr int kMsgNoTemporary = 3311;
constexpr int kMsgCannotWrite = 3312;
constexpr int kMsgUserDefined = 3187;
constexpr int kMsgTypeNames[3] = {4110, 4111, 4112};
constexpr int32_t kFlavourSet = 2;
constexpr int32_t kNoFlavour = 0;
constexpr const char* kLastFlavorKeys[3] = {"Last GRAY Flavor", "Last RGB Flavor", "Last CMYK Flavor"};

// The process's current folder, put back when the object goes.
class CFolderScope {
public:
    CFolderScope()
    {
        char folder[MAX_PATH] = {};
        GetCurrentDirectoryA(sizeof folder, folder);
        m_strFolder = folder;
    }
    ~CFolderScope() { SetCurrentDirectoryA(m_strFolder.c_str()); }
    CFolderScope(const CFolderScope&) = delete;
    CFolderScope& operator=(const CFolderScope&) = delete;

private:
    std::string m_strFolder;
};

bool EnterColourCorrectionFolder(const char* iniFile)
{
    std::string folder = ColourCorrectionFolder(iniFile);
    CreateDirectoryA(folder.c_str(), nullptr);
    if (!SetCurrentDirectoryA(folder.c_str()))
        return false;
    CreateDirectoryA(kLastFlavorFolder, nullptr);
    return true;
}

std::string FileNamePart(const std::string& path)
{
    size_t folder = path.find_last_of("\\/:");
    return folder == std::string::npos ? path : path.substr(folder + 1);
}

uint32_t GetLe32(const char* at)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(at);
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | (uint32_t)bytes[3] << 24;
}

void AppendLe32(std::vector<char>& content, uint32_t value)
{
    uint8_t bytes[4];
    PutLe32(bytes, value);
    content.insert(content.end(), bytes, bytes + 4);
}

std::vector<char> Header(uint32_t parts)
{
    uint8_t header[kHeaderSize] = {};
    PutLe32(header, kFlavorMagic);
    memcpy(header + 4, kFlavorText, sizeof kFlavorText);
    PutLe16(header + 20, 1);
    PutLe16(header + 22, 1);
    PutLe32(header + 24, parts);
    return std::vector<char>(header, header + sizeof header);
}

// Appends one entry's object, saved to the part file, as a length and its bytes.
bool AppendPart(const CChromabondHandle& entry, const std::string& partPath, std::vector<char>& content)
{
    if (!entry.Save(partPath.c_str()))
        return false;
    CScopedFile part;
    std::vector<char> bytes;
    if (!part.Open(partPath.c_str(), GENERIC_READ, OPEN_EXISTING) || !part.ReadAll(bytes))
        return false;
    AppendLe32(content, (uint32_t)bytes.size());
    content.insert(content.end(), bytes.begin(), bytes.end());
    return true;
}

bool WriteWhole(const std::string& path, const std::vector<char>& content)
{
    CScopedFile file;
    if (!file.Open(path.c_str(), GENERIC_WRITE, CREATE_ALWAYS))
        return false;
    bool written = file.WriteAll(content.data(), (uint32_t)content.size());
    return file.Close() && written;
}

}  // namespace

std::string ColourCorrectionFolder(const char* iniFile)
{
    std::vector<char> base(MAX_PATH);
    // Read whole: a base cut short would name another folder.
    for (;;) {
        DWORD got = GetPrivateProfileStringA(kEngineIniSection, "BaseDir", "C:", base.data(), (DWORD)base.size(),
                                             iniFile != nullptr ? iniFile : kEngineIniFile);
        if (got + 2 < base.size())
            break;
        base.resize(base.size() * 2);
    }
    std::string folder = base.data();
    folder += !folder.empty() && folder.back() == '\\' ? "MIREVANT\\CCORR" : "\\MIREVANT\\CCORR";
    std::transform(folder.begin(), folder.end(), folder.begin(), [](unsigned char c) { return (char)toupper(c); });
    return folder;
}

CFlavorPartList::~CFlavorPartList()
{
    for (CChromabondHandle& part : m_Parts)
        part.Release();
}

bool CFlavorPartList::AddFlavorPart(int, const char* path)
{
    CChromabondHandle part;
    if (!part.Load(path))
        return false;
    m_Parts.push_back(part);
    return true;
}

void CFlavorPartList::MoveInto(CChromabondChain& chain)
{
    auto* entries = new CChromabondHandle[m_Parts.size()];
    std::copy(m_Parts.begin(), m_Parts.end(), entries);
    chain.Set(entries, (int32_t)m_Parts.size(), true);
    m_Parts.clear();
}

bool SaveFlavorFile(const CChromabondChain& chain, const char* path, const char* iniFile)
{
    CFolderScope folder;
    if (!EnterColourCorrectionFolder(iniFile)) {
        ReportMessage(kMsgCannotWrite, path);
        return false;
    }
    const std::string target = path;
    const std::string partPath = FileNamePart(target) + ".TMP";
    if (!WriteWhole(partPath, {})) {
        ReportMessage(kMsgNoTemporary);
        return false;
    }
    std::vector<char> content = Header((uint32_t)chain.GetCount());
    bool whole = true;
    for (int32_t i = 0; whole && i < chain.GetCount(); ++i)
        if (!AppendPart(chain.GetEntries()[i], partPath, content)) {
            ReportMessage(kMsgCannotWrite, partPath.c_str());
            whole = false;
        }
    DeleteFileA(partPath.c_str());
    if (!whole)
        return false;
    // Written beside the old file, which it replaces only when it is whole.
    const std::string newFile = target + ".new";
    if (WriteWhole(newFile, content) &&
        MoveFileExA(newFile.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileA(newFile.c_str());
    ReportMessage(kMsgCannotWrite, path);
    return false;
}

bool ReadFlavorFile(int position, const char* path, CFlavorPartSink& sink, const char* iniFile)
{
    CFolderScope folder;
    CScopedFile file;
    std::vector<char> content;
    if (!EnterColourCorrectionFolder(iniFile) || !file.Open(path, GENERIC_READ, OPEN_EXISTING) || !file.ReadAll(content) || content.size() < kHeaderSize ||
        GetLe32(content.data()) != kFlavorMagic) {
        ReportMessage(kMsgUnreadable, path);
        return false;
    }
    file.Close();
    const uint32_t parts = GetLe32(content.data() + 24);
    size_t at = kHeaderSize;
    bool read = true;
    for (uint32_t i = 0; read && i < parts; ++i) {
        if (content.size() - at < 4) {
            read = false;
            break;
        }
        const uint32_t bytes = GetLe32(content.data() + at);
        at += 4;
        if (bytes == 0)
            break;
        // A length past the end of the file is no part: the parts before it stay.
        if (content.size() - at < bytes) {
            read = false;
            break;
        }
        if (!WriteWhole(kPartFile, std::vector<char>(content.begin() + (ptrdiff_t)at,
                                                     content.begin() + (ptrdiff_t)(at + bytes)))) {
            ReportMessage(kMsgNoTemporary);
            DeleteFileA(kPartFile);
            return false;
        }
        at += bytes;
        read = sink.AddFlavorPart(position + (int)i, kPartFile);
    }
    DeleteFileA(kPartFile);
    if (!read)
        ReportMessage(kMsgUnreadable, path);
    return read;
}

std::string LastFlavorFile(int imageType)
{
    switch (imageType) {
    case kImageGrey: return "thelast\\lastgray.flv";
    case kImageRgb: return "thelast\\lastrgb.flv";
    case kImageCmyk: return "thelast\\lastcmyk.flv";
    default: return std::string();
    }
}

std::string LastFlavorDisplayName(int imageType)
{
    if (imageType < kImageGrey || imageType > kImageCmyk)
        return std::string();
    CMsgString userDefined(kMsgUserDefined);
    CMsgString type(kMsgTypeNames[imageType - kImageGrey]);
    return std::string((const char*)userDefined) + " " + (const char*)type;
}

bool SaveLastFlavorFile(CChromabondChain& chain, int imageType, const char* iniFile)
{
    if (chain.GetCount() == 0)
        return false;
    if (chain.IsStored())
        return true;
    const std::string file = LastFlavorFile(imageType);
    if (file.empty() || !SaveFlavorFile(chain, file.c_str(), iniFile))
        return false;
    chain.SetName(file.c_str());
    chain.SetStored(true);
    return true;
}

void SetFlavorNameForType(const CChromabondChain& chain, int imageType, bool lastFile)
{
    if (g_pScanSettings == nullptr)
        return;
    std::string name = lastFile ? LastFlavorDisplayName(imageType) : chain.GetName();
    for (int type = kImageGrey; !lastFile && type <= kImageCmyk; ++type)
        if (name + ".flv" == FileNamePart(LastFlavorFile(type)))
            name = LastFlavorDisplayName(type);
    g_pScanSettings->SetFlavorName(imageType, name.c_str());
    g_pScanSettings->SetParamForType((uint16_t)imageType, kParamFlavourState, kFlavourSet);
}

void ResetFlavor(CChromabondChain& chain)
{
    chain.Set(nullptr, 0);
    chain.SetName("");
    if (g_pScanSettings == nullptr)
        return;
    g_pScanSettings->SetParam(kParamFlavourState, kNoFlavour);
    g_pScanSettings->SetCurrentFlavorName("");
}

namespace {

// Reads a flavour file into the chain in place of its parts; true when every part came.
bool ReadIntoChain(CChromabondChain& chain, const std::string& path, const char* iniFile)
{
    CFlavorPartList parts;
    bool read = ReadFlavorFile(0, path.c_str(), parts, iniFile);
    parts.MoveInto(chain);
    return read;
}

std::string FileStem(const std::string& path)
{
    std::string name = FileNamePart(path);
    size_t extension = name.rfind('.');
    return extension == std::string::npos ? name : name.substr(0, extension);
}

}  // namespace

void LoadLastFlavor(CChromabondChain& chain, const char* iniFile)
{
    if (g_pScanSettings == nullptr)
        return;
    const int type = g_pScanSettings->GetCurrentType();
    const std::string name = g_pScanSettings->GetFlavorName(type);
    if (name.empty())
        return;
    for (int t = kImageGrey; t <= kImageCmyk; ++t)
        if (name == LastFlavorDisplayName(t)) {
            const std::string file = LastFlavorFile(t);
            if (ReadIntoChain(chain, file, iniFile))
                chain.SetName(file.c_str());
            chain.SetStored(true);
            return;
        }
    const std::string kept = "thelast\\" + name + ".FLV";
    CFolderScope folder;
    bool keptExists = EnterColourCorrectionFolder(iniFile) && GetFileAttributesA(kept.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (keptExists) {
        if (ReadIntoChain(chain, kept, iniFile)) {
            chain.SetName(kept.c_str());
            SetFlavorNameForType(chain, type, false);
        }
        chain.SetStored(true);
        return;
    }
    const bool hasKey = type >= kImageGrey && type <= kImageCmyk && AfxGetApp() != nullptr;
    const std::string path = hasKey ? (const char*)AfxGetApp()->GetProfileString("General", kLastFlavorKeys[type - kImageGrey], "") : "";
    if (path.empty() || FileStem(path) != name) {
        ResetFlavor(chain);
        return;
    }
    ReadIntoChain(chain, path, iniFile);
    chain.SetName(name.c_str());
    chain.SetStored(true);
}
