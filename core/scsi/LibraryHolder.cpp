#include "core/scsi/LibraryHolder.h"

CLibraryHolder::CLibraryHolder(const char* fileName) : m_module(LoadLibraryA(fileName))
{
    m_error = m_module != nullptr ? 0xFFFF : GetLastError();
}

CLibraryHolder::~CLibraryHolder()
{
    if (m_module != nullptr)
        FreeLibrary(m_module);
}

DWORD CLibraryHolder::GetError()
{
    return m_error;
}

FARPROC CLibraryHolder::GetEntry(const char* name) const
{
    return m_module != nullptr ? GetProcAddress(m_module, name) : nullptr;
}
