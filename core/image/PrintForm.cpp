// The stored preview image.

#include "core/image/PrintForm.h"

#include "core/driver/ScannerDriver.h"
#include "core/image/FileHuge.h"
#include "core/scan/ShellServices.h"
#include "core/settings/ScanSettings.h"
#include "core/util/GlobalBlock.h"
#include "core/util/ScopedFile.h"
#include "framework/App.h"
#include "framework/File.h"

#include <cstring>

namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;

// The bit number of a kind bit, rounded up; a driver without a kind counts as kind 0.
int32_t KindIndex(uint32_t kind)
{
    int32_t index = 0;
    while (index < 32 && (1u << index) < kind)
        ++index;
    return index;
}

}  // namespace

CDib* ReadDibFile(CFile& file)
{
    uint8_t fileHeader[kFileHeaderSize];
    DWORD length = file.GetLength();
    if (file.Read(fileHeader, kFileHeaderSize) != kFileHeaderSize || fileHeader[0] != 'B' || fileHeader[1] != 'M' ||
        length < kFileHeaderSize + kInfoHeaderSize)
        return nullptr;
    uint32_t blockSize = length - kFileHeaderSize;
    CScopedBlock block(blockSize);
    uint8_t* data = (uint8_t*)block.Data();
    if (data == nullptr)
        return nullptr;
    BITMAPINFOHEADER* header = (BITMAPINFOHEADER*)data;
    bool read = ReadFileHuge(file, data, blockSize) != 0;
    uint32_t bitCount = header->biBitCount;
    uint32_t colours = bitCount == 1 ? 2 : bitCount == 8 ? 256 : 0;
    uint32_t height = header->biHeight > 0 ? (uint32_t)header->biHeight : 0;
    uint32_t stride = header->biWidth > 0 ? CDib::RowStride((uint32_t)header->biWidth, bitCount) : 0;
    uint32_t bitsOffset = header->biSize + colours * sizeof(RGBQUAD);
    bool valid = read && header->biSize == kInfoHeaderSize && (bitCount == 1 || bitCount == 8 || bitCount == 24) &&
        stride > 0 && height > 0 && (uint64_t)bitsOffset + (uint64_t)stride * height <= blockSize;
    if (!valid)
        return nullptr;
    CDib* dib = new CDib;
    dib->m_hDib = block.Release();
    dib->m_pHeader = header;
    dib->m_pColorTable = (RGBQUAD*)(data + header->biSize);
    dib->m_pBits = data + bitsOffset;
    dib->m_nBitCount = bitCount;
    dib->m_nStride = stride;
    dib->m_nHeight = height;
    dib->m_nColors = colours;
    return dib;
}

CPrintForm::CPrintForm() { Load(); }

CPrintForm::~CPrintForm()
{
    Save();
    delete m_pImage;
}

CString CPrintForm::ImagePath() const
{
    char directory[MAX_PATH + 1] = {};
    DWORD length = GetTempPathA(sizeof directory, directory);
    if (length == 0 || length >= sizeof directory)
        strcpy(directory, "C:\\");
    CString path(directory);
    if (path.GetLength() > 0 && path[path.GetLength() - 1] != '\\')
        path += '\\';
    char name[32];
    wsprintfA(name, "bv32_%d.dib", (int)m_nKindIndex);
    return path + name;
}

void CPrintForm::DefaultArea()
{
    m_nFormX = m_nFormY = m_nOffsetX = m_nOffsetY = 0;
    if (g_pScannerDriver == nullptr || g_pScannerDriver->m_pFormatTable == nullptr || g_pScanSettings == nullptr)
        return;
    int32_t index = g_pScanSettings->GetParam(kParamFormatIndex);
    if (index < 0 || index >= kFormatTableEntries)
        return;
    const CFormatEntry& entry = g_pScannerDriver->m_pFormatTable->m_Entries[index];
    m_nFormX = (int32_t)((uint32_t)entry.m_nWidth / 2);
    m_nFormY = (int32_t)((uint32_t)entry.m_nHeight / 2);
    m_nOffsetX = (int32_t)((uint32_t)entry.m_nOffsetX / 2);
    m_nOffsetY = (int32_t)((uint32_t)entry.m_nOffsetY / 2);
}

void CPrintForm::ReadImage()
{
    CString fileName = AfxGetApp()->GetProfileString(m_strSection, "FileName", "");
    if (fileName.IsEmpty())
        return;
    CScopedFile file;
    if (!file.Open(fileName, GENERIC_READ, OPEN_EXISTING))
        return;
    CFile stream(file.Get());
    m_pImage = Shell().ReadPreviewDib(stream);
}

void CPrintForm::Load()
{
    delete m_pImage;
    m_pImage = nullptr;
    m_nKindIndex = g_pScannerDriver != nullptr ? KindIndex(g_pScannerDriver->m_nKind) : 0;
    m_strSection = g_pScannerDriver != nullptr ? g_pScannerDriver->m_strProduct : CString();
    ReadImage();
    DefaultArea();
    if (m_pImage == nullptr)
        return;
    CWinApp* app = AfxGetApp();
    m_nFormX = (int32_t)app->GetProfileInt(m_strSection, "FormX", m_nFormX);
    m_nFormY = (int32_t)app->GetProfileInt(m_strSection, "FormY", m_nFormY);
    m_nOffsetX = (int32_t)app->GetProfileInt(m_strSection, "OffsetX", m_nOffsetX);
    m_nOffsetY = (int32_t)app->GetProfileInt(m_strSection, "OffsetY", m_nOffsetY);
}

void CPrintForm::SetForm(CDib* image, int32_t formX, int32_t formY, int32_t offsetX, int32_t offsetY)
{
    if (image != nullptr)
        Shell().HandOverPreview(m_pImage, image);
    if (image != m_pImage)
        delete m_pImage;
    m_pImage = image;
    m_nFormX = formX;
    m_nFormY = formY;
    m_nOffsetX = offsetX;
    m_nOffsetY = offsetY;
}

void CPrintForm::Save()
{
    CWinApp* app = AfxGetApp();
    CString path = ImagePath();
    CScopedFile file;
    if (file.Open(path, GENERIC_WRITE, CREATE_ALWAYS) && m_pImage != nullptr) {
        app->WriteProfileString(m_strSection, "FileName", path);
        CFile stream(file.Get());
        m_pImage->WriteBmp(stream);
    }
    app->WriteProfileInt(m_strSection, "FormX", m_nFormX);
    app->WriteProfileInt(m_strSection, "FormY", m_nFormY);
    app->WriteProfileInt(m_strSection, "OffsetX", m_nOffsetX);
    app->WriteProfileInt(m_strSection, "OffsetY", m_nOffsetY);
}
