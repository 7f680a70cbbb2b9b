#include "core/messages/TraceLog.h"

#include "core/messages/BoundedFormat.h"
#include "core/messages/ProgramDirectory.h"
#include "framework/File.h"

#include <cstdarg>

CTraceLog* g_pTraceLog = nullptr;

namespace {

constexpr int kLineBufferSize = 512;

}  // namespace

CTraceLog::CTraceLog() : m_pPath(new CString(ProgramDirectory() + "BRELVANE.LOG"))
{
    Create();
}

CTraceLog::CTraceLog(const CString& path) : m_pPath(new CString(path))
{
    Create();
}

CTraceLog::~CTraceLog()
{
    delete m_pFile;
    delete m_pPath;
}

void CTraceLog::Create()
{
    m_pFile = new CFile;
    if (!m_pFile->Open(*m_pPath, CFile::modeCreate | CFile::modeRead | CFile::shareExclusive)) {
        delete m_pFile;
        m_pFile = nullptr;
        return;
    }
    m_pFile->Abort();
}

void CTraceLog::Printf(const char* format, ...)
{
    if (!m_pFile)
        return;
    char line[kLineBufferSize + 1];
    va_list args;
    va_start(args, format);
    const int length = BoundedFormatV(line, kLineBufferSize, format, args);
    va_end(args);
    line[length] = '\n';
    if (!WriteLine(line, length + 1)) {
        delete m_pFile;
        m_pFile = nullptr;
    }
}

bool CTraceLog::WriteLine(const char* text, int length)
{
    if (!m_pFile->Open(*m_pPath, CFile::modeWrite | CFile::shareExclusive))
        return false;
    DWORD written = 0;
    const bool ok = SetFilePointer(m_pFile->m_hFile, 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER &&
                    WriteFile(m_pFile->m_hFile, text, (DWORD)length, &written, nullptr) &&
                    written == (DWORD)length;
    m_pFile->Abort();
    return ok;
}
