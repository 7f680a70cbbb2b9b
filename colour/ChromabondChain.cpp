#include "colour/ChromabondChain.h"

#include "colour/CmsResult.h"
#include "core/cms/CmsEngineInstance.h"
#include "core/image/Dib.h"

#include <cstring>
#include <new>

CChromabondChain* g_pCurrentFlavor = nullptr;

namespace {

constexpr int kAttrObjectName = 0x307041;
constexpr size_t kMaxChainName = 255;

}  // namespace

bool CChromabondHandle::Acquire(const char* name)
{
    if (m_pRecord != nullptr) {
        ++*m_pCount;
        return true;
    }
    // A record the engine has not filled must read as empty, never as a stale object.
    m_pRecord = new (std::nothrow) CmsHandle();
    m_pName = new (std::nothrow) std::string(name != nullptr ? name : "");
    m_pCount = new (std::nothrow) int32_t(1);
    if (m_pRecord != nullptr && m_pName != nullptr && m_pCount != nullptr)
        return true;
    delete m_pRecord;
    delete m_pName;
    delete m_pCount;
    m_pRecord = nullptr;
    m_pName = nullptr;
    m_pCount = nullptr;
    return false;
}

bool CChromabondHandle::Release()
{
    if (m_pCount == nullptr)
        return false;
    if (--*m_pCount > 0)
        return false;
    delete m_pCount;
    delete m_pName;
    m_pCount = nullptr;
    m_pName = nullptr;
    if (m_pRecord == nullptr)
        return false;
    if (!m_pRecord->IsEmpty() && g_pCmsEngine != nullptr)
        g_pCmsEngine->FreeHandle(m_pRecord);
    delete m_pRecord;
    m_pRecord = nullptr;
    return true;
}

bool CChromabondHandle::Load(const char* path)
{
    // Loading again into a shared record would change the object under its other holders.
    if (m_pRecord != nullptr)
        return Acquire(path);
    if (g_pCmsEngine == nullptr || !Acquire(path))
        return false;
    if (g_pCmsEngine->LoadObject(path, m_pRecord) == 1) {
        Release();
        return false;
    }
    const char* name = nullptr;
    g_pCmsEngine->GetAttributes(kCmsCategoryObjects, m_pRecord, kAttrObjectName, &name);
    if (name == nullptr || name[0] == '\0')
        g_pCmsEngine->SetAttributes(kCmsCategoryObjects, m_pRecord, kAttrObjectName, path);
    return true;
}

bool CChromabondHandle::Save(const char* path) const
{
    if (g_pCmsEngine == nullptr || m_pRecord == nullptr)
        return false;
    return g_pCmsEngine->SaveObject(m_pRecord, path) != 1;
}

std::string CChromabondHandle::GetName() const { return m_pName != nullptr ? *m_pName : std::string(); }

CChromabondChain::~CChromabondChain()
{
    DeleteEntryNames();
    delete[] m_pEntries;
}

void CChromabondChain::SetName(const char* path)
{
    if (path == nullptr || path[0] == '\0') {
        m_strName.clear();
        return;
    }
    std::string name = path;
    size_t folder = name.find_last_of("\\/:");
    if (folder != std::string::npos)
        name.erase(0, folder + 1);
    size_t extension = name.rfind('.');
    if (extension != std::string::npos)
        name.erase(extension);
    m_strName = name.substr(0, kMaxChainName);
}

void CChromabondChain::Set(CChromabondHandle* entries, int32_t count, bool owns)
{
    m_bStored = false;
    Clear();
    delete[] m_pEntries;
    m_pEntries = entries;
    m_nCount = entries != nullptr ? count : 0;
    m_bOwnsEntries = owns && m_nCount > 0;
    m_bChanged = true;
}

void CChromabondChain::Clear()
{
    if (m_nCount > 0 && m_bOwnsEntries) {
        DeleteEntryNames();
        for (int32_t i = 0; i < m_nCount; ++i)
            m_pEntries[i].Release();
    }
    m_bOwnsEntries = false;
}

void CChromabondChain::DeleteEntryNames()
{
    delete[] m_pEntryNames;
    m_pEntryNames = nullptr;
}

int32_t CChromabondChain::FillSlots(CmsChainEntry* slots, std::string* names) const
{
    int32_t filled = 0;
    for (int32_t i = 0; i < m_nCount; ++i) {
        const CChromabondHandle& entry = m_pEntries[i];
        if (entry.Record() == nullptr)
            continue;
        slots[filled].handle = *entry.Record();
        slots[filled].enabled = 1;
        if (names != nullptr)
            names[filled] = entry.GetName();
        ++filled;
    }
    return filled;
}

bool CChromabondChain::Apply(CCmsImageDesc& source, CCmsImageDesc& destination)
{
    if (m_nCount == 0)
        return true;
    auto* slots = new (std::nothrow) CmsChainEntry[(size_t)m_nCount];
    if (slots == nullptr || g_pCmsEngine == nullptr) {
        delete[] slots;
        return false;
    }
    int32_t filled = FillSlots(slots, nullptr);
    int result = filled > 0 ? g_pCmsEngine->ApplyChain(filled, slots, &source, &destination) : 0;
    delete[] slots;
    m_bChanged = false;
    return CheckCmsResult(result);
}

uint8_t* CChromabondChain::ApplyToDib(CDib& dib, uint8_t* source, uint8_t* destination)
{
    if (m_nCount == 0 || dib.m_pHeader == nullptr || dib.m_nBitCount < 8)
        return source;
    HCURSOR previous = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    CCmsImageDesc from = {};
    CCmsImageDesc to = {};
    from.DescribeDib(dib, source);
    to.DescribeDib(dib, destination);
    bool applied = Apply(from, to);
    SetCursor(previous);
    return applied ? destination : source;
}

bool CChromabondChain::Combine()
{
    if (m_nCount == 0) {
        delete[] m_pEntries;
        m_pEntries = nullptr;
        return true;
    }
    auto* slots = new (std::nothrow) CmsChainEntry[(size_t)m_nCount];
    auto* names = new (std::nothrow) std::string[(size_t)m_nCount + 1];
    if (slots == nullptr || names == nullptr || g_pCmsEngine == nullptr) {
        delete[] slots;
        delete[] names;
        return false;
    }
    int32_t filled = FillSlots(slots, names);
    DeleteEntryNames();
    m_pEntryNames = names;
    int result = g_pCmsEngine->CombineChain(filled, slots, &m_Combined);
    delete[] slots;
    delete[] m_pEntries;
    m_pEntries = nullptr;
    m_nCount = 0;
    if (result != 0) {
        DeleteEntryNames();
        return false;
    }
    m_pEntries = new (std::nothrow) CChromabondHandle[1];
    if (m_pEntries == nullptr || !m_pEntries[0].Acquire("")) {
        DeleteEntryNames();
        return false;
    }
    *m_pEntries[0].Record() = m_Combined;
    m_nCount = 1;
    m_bChanged = true;
    m_bOwnsEntries = true;
    return true;
}
