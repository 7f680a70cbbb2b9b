#include "framework/File.h"

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cerrno>

IMPLEMENT_DYNAMIC(CFileException, CException)
IMPLEMENT_DYNAMIC(CFile, CObject)
IMPLEMENT_DYNAMIC(CStdioFile, CFile)

namespace {

struct ErrorCause {
    LONG osError;
    int cause;
};

const ErrorCause kErrorCauses[] = {
    {NO_ERROR, CFileException::none},
    {ERROR_FILE_NOT_FOUND, CFileException::fileNotFound},
    {ERROR_PATH_NOT_FOUND, CFileException::badPath},
    {ERROR_INVALID_NAME, CFileException::badPath},
    {ERROR_BAD_PATHNAME, CFileException::badPath},
    {ERROR_INVALID_DRIVE, CFileException::badPath},
    {ERROR_BAD_NETPATH, CFileException::badPath},
    {ERROR_DIRECTORY, CFileException::badPath},
    {ERROR_FILENAME_EXCED_RANGE, CFileException::badPath},
    {ERROR_TOO_MANY_OPEN_FILES, CFileException::tooManyOpenFiles},
    {ERROR_ACCESS_DENIED, CFileException::accessDenied},
    {ERROR_WRITE_PROTECT, CFileException::accessDenied},
    {ERROR_FILE_EXISTS, CFileException::accessDenied},
    {ERROR_ALREADY_EXISTS, CFileException::accessDenied},
    {ERROR_INVALID_HANDLE, CFileException::invalidFile},
    {ERROR_CURRENT_DIRECTORY, CFileException::removeCurrentDir},
    {ERROR_CANNOT_MAKE, CFileException::directoryFull},
    {ERROR_SEEK, CFileException::badSeek},
    {ERROR_NEGATIVE_SEEK, CFileException::badSeek},
    {ERROR_SEEK_ON_DEVICE, CFileException::badSeek},
    {ERROR_NOT_READY, CFileException::hardIO},
    {ERROR_CRC, CFileException::hardIO},
    {ERROR_SECTOR_NOT_FOUND, CFileException::hardIO},
    {ERROR_WRITE_FAULT, CFileException::hardIO},
    {ERROR_READ_FAULT, CFileException::hardIO},
    {ERROR_GEN_FAILURE, CFileException::hardIO},
    {ERROR_SHARING_VIOLATION, CFileException::sharingViolation},
    {ERROR_LOCK_VIOLATION, CFileException::lockViolation},
    {ERROR_DISK_FULL, CFileException::diskFull},
    {ERROR_HANDLE_DISK_FULL, CFileException::diskFull},
    {ERROR_HANDLE_EOF, CFileException::endOfFile},
};

DWORD AccessOf(UINT flags)
{
    switch (flags & 3) {
    case CFile::modeWrite:
        return GENERIC_WRITE;
    case CFile::modeReadWrite:
        return GENERIC_READ | GENERIC_WRITE;
    default:
        return GENERIC_READ;
    }
}

DWORD ShareOf(UINT flags)
{
    switch (flags & 0x70) {
    case CFile::shareDenyWrite:
        return FILE_SHARE_READ;
    case CFile::shareDenyRead:
        return FILE_SHARE_WRITE;
    case CFile::shareDenyNone:
        return FILE_SHARE_READ | FILE_SHARE_WRITE;
    default:   // exclusive, and the compatibility mode that acts like it
        return 0;
    }
}

DWORD DispositionOf(UINT flags)
{
    if (!(flags & CFile::modeCreate))
        return OPEN_EXISTING;
    return (flags & CFile::modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;
}

CString FullPathOf(LPCSTR fileName)
{
    CString path;
    char* filePart = nullptr;
    const DWORD length = ::GetFullPathNameA(fileName, MAX_PATH, path.GetBuffer(MAX_PATH), &filePart);
    path.ReleaseBuffer(length > 0 && length < MAX_PATH ? (int)length : 0);
    return path.IsEmpty() ? CString(fileName) : path;
}

// The C runtime keeps the last Win32 error of a failed stream call; an operation refused by the
// runtime itself (writing a read-only stream) leaves only errno.
[[noreturn]] void ThrowStreamError(LPCSTR fileName)
{
    if (_doserrno != 0)
        CFileException::ThrowOsError((LONG)_doserrno, fileName);
    if (errno == ENOSPC)
        AfxThrowFileException(CFileException::diskFull, -1, fileName);
    if (errno == EBADF || errno == EACCES)
        AfxThrowFileException(CFileException::accessDenied, -1, fileName);
    AfxThrowFileException(CFileException::generic, -1, fileName);
}

void ClearStreamError()
{
    _doserrno = 0;
    errno = 0;
}

}  // namespace

// ---- CFileException ----

CFileException::CFileException(int cause, LONG osError, LPCSTR fileName)
    : m_cause(cause), m_lOsError(osError), m_strFileName(fileName)
{
}

int CFileException::OsErrorToException(LONG osError)
{
    for (const ErrorCause& entry : kErrorCauses)
        if (entry.osError == osError)
            return entry.cause;
    return generic;
}

void CFileException::ThrowOsError(LONG osError, LPCSTR fileName)
{
    const int cause = OsErrorToException(osError);
    AfxThrowFileException(cause == none ? generic : cause, osError, fileName);
}

void AfxThrowFileException(int cause, LONG osError, LPCSTR fileName)
{
    throw new CFileException(cause, osError, fileName);
}

// ---- CFile ----

const HANDLE CFile::hFileNull = INVALID_HANDLE_VALUE;

CFile::CFile() : m_hFile(INVALID_HANDLE_VALUE), m_bCloseOnDelete(FALSE) {}

CFile::CFile(HANDLE file) : m_hFile(file), m_bCloseOnDelete(FALSE) {}

CFile::CFile(LPCSTR fileName, UINT openFlags) : CFile()
{
    CFileException error;
    if (!CFile::Open(fileName, openFlags, &error))
        AfxThrowFileException(error.m_cause, error.m_lOsError, error.m_strFileName);
}

CFile::~CFile()
{
    if (m_hFile != INVALID_HANDLE_VALUE && m_bCloseOnDelete)
        ::CloseHandle(m_hFile);
}

BOOL CFile::Open(LPCSTR fileName, UINT openFlags, CFileException* error)
{
    ASSERT(m_hFile == INVALID_HANDLE_VALUE);
    SECURITY_ATTRIBUTES security = {sizeof security, nullptr, !(openFlags & modeNoInherit)};
    const HANDLE file = ::CreateFileA(fileName, AccessOf(openFlags), ShareOf(openFlags), &security,
                                      DispositionOf(openFlags), FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        if (error) {
            error->m_lOsError = (LONG)::GetLastError();
            error->m_cause = CFileException::OsErrorToException(error->m_lOsError);
            error->m_strFileName = fileName;
        }
        return FALSE;
    }
    m_hFile = file;
    m_bCloseOnDelete = TRUE;
    m_strFilePath = FullPathOf(fileName);
    return TRUE;
}

UINT CFile::Read(void* buffer, UINT count)
{
    DWORD read = 0;
    if (count > 0 && !::ReadFile(m_hFile, buffer, count, &read, nullptr))
        ThrowLastError();
    return read;
}

void CFile::Write(const void* buffer, UINT count)
{
    DWORD written = 0;
    if (count == 0)
        return;
    if (!::WriteFile(m_hFile, buffer, count, &written, nullptr))
        ThrowLastError();
    if (written != count)
        AfxThrowFileException(CFileException::diskFull, -1, m_strFilePath);
}

LONG CFile::Seek(LONG offset, UINT from)
{
    const DWORD position = ::SetFilePointer(m_hFile, offset, nullptr, from);
    if (position == INVALID_SET_FILE_POINTER)
        ThrowLastError();
    return (LONG)position;
}

DWORD CFile::GetPosition() const
{
    const DWORD position = ::SetFilePointer(m_hFile, 0, nullptr, FILE_CURRENT);
    if (position == INVALID_SET_FILE_POINTER)
        ThrowLastError();
    return position;
}

DWORD CFile::GetLength() const
{
    const DWORD length = ::GetFileSize(m_hFile, nullptr);
    if (length == INVALID_FILE_SIZE)
        ThrowLastError();
    return length;
}

void CFile::SetLength(DWORD newLength)
{
    Seek((LONG)newLength, begin);
    if (!::SetEndOfFile(m_hFile))
        ThrowLastError();
}

void CFile::Flush()
{
    if (m_hFile != INVALID_HANDLE_VALUE && !::FlushFileBuffers(m_hFile))
        ThrowLastError();
}

void CFile::Close()
{
    const BOOL closed = m_hFile == INVALID_HANDLE_VALUE || !m_bCloseOnDelete || ::CloseHandle(m_hFile);
    const LONG osError = (LONG)::GetLastError();
    const CString path = m_strFilePath;
    m_hFile = INVALID_HANDLE_VALUE;
    m_bCloseOnDelete = FALSE;
    m_strFilePath.Empty();
    if (!closed)
        CFileException::ThrowOsError(osError, path);
}

void CFile::Abort()
{
    if (m_hFile != INVALID_HANDLE_VALUE && m_bCloseOnDelete)
        ::CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
    m_bCloseOnDelete = FALSE;
    m_strFilePath.Empty();
}

CString CFile::GetFileName() const
{
    const int slash = std::max(m_strFilePath.ReverseFind('\\'), m_strFilePath.ReverseFind('/'));
    return m_strFilePath.Mid(slash + 1);
}

CString CFile::GetFileTitle() const
{
    const CString name = GetFileName();
    const int dot = name.ReverseFind('.');
    return dot < 0 ? name : name.Left(dot);
}

void CFile::Remove(LPCSTR fileName)
{
    if (!::DeleteFileA(fileName))
        CFileException::ThrowOsError((LONG)::GetLastError(), fileName);
}

void CFile::Rename(LPCSTR oldName, LPCSTR newName)
{
    if (!::MoveFileA(oldName, newName))
        CFileException::ThrowOsError((LONG)::GetLastError(), oldName);
}

void CFile::ThrowLastError() const
{
    CFileException::ThrowOsError((LONG)::GetLastError(), m_strFilePath);
}

// ---- CStdioFile ----

CStdioFile::CStdioFile() : m_pStream(nullptr) {}

CStdioFile::CStdioFile(LPCSTR fileName, UINT openFlags) : m_pStream(nullptr)
{
    CFileException error;
    if (!CStdioFile::Open(fileName, openFlags, &error))
        AfxThrowFileException(error.m_cause, error.m_lOsError, error.m_strFileName);
}

CStdioFile::~CStdioFile()
{
    Abort();
}

BOOL CStdioFile::Open(LPCSTR fileName, UINT openFlags, CFileException* error)
{
    if (!CFile::Open(fileName, openFlags & ~(typeText | typeBinary), error))
        return FALSE;
    const bool binary = openFlags & typeBinary;
    int fdFlags = binary ? 0 : _O_TEXT;
    const char* mode = "r+";
    switch (openFlags & 3) {
    case modeRead:
        fdFlags |= _O_RDONLY;
        mode = binary ? "rb" : "rt";
        break;
    case modeWrite:
        mode = binary ? "wb" : "wt";   // fdopen never truncates: modeCreate already did if asked
        break;
    default:
        mode = binary ? "r+b" : "r+t";
        break;
    }
    const int fd = _open_osfhandle((intptr_t)m_hFile, fdFlags);
    m_pStream = fd < 0 ? nullptr : _fdopen(fd, mode);
    if (!m_pStream) {
        if (fd >= 0)
            _close(fd);
        else
            CFile::Abort();
        m_hFile = INVALID_HANDLE_VALUE;
        m_bCloseOnDelete = FALSE;
        if (error) {
            error->m_cause = CFileException::tooManyOpenFiles;
            error->m_lOsError = -1;
            error->m_strFileName = fileName;
        }
        return FALSE;
    }
    return TRUE;
}

UINT CStdioFile::Read(void* buffer, UINT count)
{
    ClearStreamError();
    const size_t read = std::fread(buffer, 1, count, m_pStream);
    if (read < count && std::ferror(m_pStream)) {
        std::clearerr(m_pStream);
        ThrowStreamError(m_strFilePath);
    }
    return (UINT)read;
}

void CStdioFile::Write(const void* buffer, UINT count)
{
    ClearStreamError();
    if (std::fwrite(buffer, 1, count, m_pStream) != count) {
        std::clearerr(m_pStream);
        ThrowStreamError(m_strFilePath);
    }
}

LONG CStdioFile::Seek(LONG offset, UINT from)
{
    const int origin = from == begin ? SEEK_SET : (from == end ? SEEK_END : SEEK_CUR);
    if (std::fseek(m_pStream, offset, origin) != 0)
        AfxThrowFileException(CFileException::badSeek, -1, m_strFilePath);
    return std::ftell(m_pStream);
}

DWORD CStdioFile::GetPosition() const
{
    const long position = std::ftell(m_pStream);
    if (position < 0)
        AfxThrowFileException(CFileException::invalidFile, -1, m_strFilePath);
    return (DWORD)position;
}

DWORD CStdioFile::GetLength() const
{
    const long position = std::ftell(m_pStream);
    if (position < 0 || std::fseek(m_pStream, 0, SEEK_END) != 0)
        AfxThrowFileException(CFileException::invalidFile, -1, m_strFilePath);
    const long length = std::ftell(m_pStream);
    std::fseek(m_pStream, position, SEEK_SET);
    return (DWORD)length;
}

void CStdioFile::Flush()
{
    ClearStreamError();
    if (m_pStream && std::fflush(m_pStream) != 0)
        ThrowStreamError(m_strFilePath);
}

void CStdioFile::Close()
{
    ClearStreamError();
    const bool closed = !m_pStream || std::fclose(m_pStream) == 0;
    const CString path = m_strFilePath;
    m_pStream = nullptr;
    m_hFile = INVALID_HANDLE_VALUE;   // fclose closed the handle with the stream
    m_bCloseOnDelete = FALSE;
    m_strFilePath.Empty();
    if (!closed)
        ThrowStreamError(path);
}

void CStdioFile::Abort()
{
    if (m_pStream) {
        std::fclose(m_pStream);
        m_pStream = nullptr;
        m_hFile = INVALID_HANDLE_VALUE;
        m_bCloseOnDelete = FALSE;
    }
    CFile::Abort();
}

BOOL CStdioFile::ReadString(CString& line)
{
    line.Empty();
    char chunk[256];
    bool readAny = false;
    ClearStreamError();
    while (std::fgets(chunk, sizeof chunk, m_pStream)) {
        readAny = true;
        line += chunk;
        if (line.GetLength() > 0 && line[line.GetLength() - 1] == '\n') {
            line.Delete(line.GetLength() - 1);
            return TRUE;
        }
    }
    if (std::ferror(m_pStream)) {
        std::clearerr(m_pStream);
        ThrowStreamError(m_strFilePath);
    }
    return readAny;
}

LPSTR CStdioFile::ReadString(LPSTR buffer, UINT maxChars)
{
    ClearStreamError();
    LPSTR result = std::fgets(buffer, (int)maxChars, m_pStream);
    if (!result && std::ferror(m_pStream)) {
        std::clearerr(m_pStream);
        ThrowStreamError(m_strFilePath);
    }
    return result;
}

void CStdioFile::WriteString(LPCSTR text)
{
    ClearStreamError();
    if (std::fputs(text, m_pStream) == EOF) {
        std::clearerr(m_pStream);
        ThrowStreamError(m_strFilePath);
    }
}
