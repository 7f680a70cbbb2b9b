#pragma once

// Files over Win32 handles. Open reports failure through its return value (and an optional
// CFileException filled in); the throwing constructor, Read, Write, Seek, Close, Remove and Rename
// throw a CFileException* whose m_cause says what went wrong and m_strFileName which file.

#include "framework/Exception.h"
#include "framework/String.h"

#include <cstdio>

class CFileException : public CException {
    DECLARE_DYNAMIC(CFileException)
public:
    enum {
        none,
        generic,
        fileNotFound,
        badPath,
        tooManyOpenFiles,
        accessDenied,
        invalidFile,
        removeCurrentDir,
        directoryFull,
        badSeek,
        hardIO,
        sharingViolation,
        lockViolation,
        diskFull,
        endOfFile
    };

    explicit CFileException(int cause = none, LONG osError = -1, LPCSTR fileName = nullptr);

    // Maps a Win32 error code (GetLastError) to a cause; generic for codes without a better one.
    static int OsErrorToException(LONG osError);
    [[noreturn]] static void ThrowOsError(LONG osError, LPCSTR fileName = nullptr);

    int m_cause;
    LONG m_lOsError;      // -1 when the failure was not an operating system error
    CString m_strFileName;
};

[[noreturn]] void AfxThrowFileException(int cause, LONG osError = -1, LPCSTR fileName = nullptr);

class CFile : public CObject {
    DECLARE_DYNAMIC(CFile)
public:
    enum OpenFlags {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeText = 0x4000,    // CStdioFile only
        typeBinary = 0x8000,  // CStdioFile only
    };
    enum SeekPosition { begin = FILE_BEGIN, current = FILE_CURRENT, end = FILE_END };

    static const HANDLE hFileNull;

    CFile();
    explicit CFile(HANDLE file);   // adopts an open handle; Close does not close it
    CFile(LPCSTR fileName, UINT openFlags);   // throws CFileException* on failure
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;
    ~CFile() override;   // closes without throwing

    virtual BOOL Open(LPCSTR fileName, UINT openFlags, CFileException* error = nullptr);
    virtual UINT Read(void* buffer, UINT count);   // fewer than count only at the end of the file
    virtual void Write(const void* buffer, UINT count);
    virtual LONG Seek(LONG offset, UINT from);
    LONG SeekToBegin() { return Seek(0, begin); }
    DWORD SeekToEnd() { return (DWORD)Seek(0, end); }
    virtual DWORD GetPosition() const;
    virtual DWORD GetLength() const;
    virtual void SetLength(DWORD newLength);
    virtual void Flush();
    virtual void Close();
    virtual void Abort();   // closes and ignores any failure

    CString GetFilePath() const { return m_strFilePath; }
    CString GetFileName() const;
    CString GetFileTitle() const;

    static void Remove(LPCSTR fileName);
    static void Rename(LPCSTR oldName, LPCSTR newName);

    HANDLE m_hFile;

protected:
    [[noreturn]] void ThrowLastError() const;

    CString m_strFilePath;
    BOOL m_bCloseOnDelete;
};

// A buffered file of the C runtime with text-mode line handling (CR LF read as LF and written back).
class CStdioFile : public CFile {
    DECLARE_DYNAMIC(CStdioFile)
public:
    CStdioFile();
    CStdioFile(LPCSTR fileName, UINT openFlags);   // throws CFileException* on failure
    ~CStdioFile() override;

    BOOL Open(LPCSTR fileName, UINT openFlags, CFileException* error = nullptr) override;
    UINT Read(void* buffer, UINT count) override;
    void Write(const void* buffer, UINT count) override;
    LONG Seek(LONG offset, UINT from) override;
    DWORD GetPosition() const override;
    DWORD GetLength() const override;
    void Flush() override;
    void Close() override;
    void Abort() override;

    // The next line without its newline; FALSE at the end of the file with nothing read.
    BOOL ReadString(CString& line);
    // Up to maxChars-1 characters, keeping the newline as fgets does; NULL at the end of the file.
    LPSTR ReadString(LPSTR buffer, UINT maxChars);
    void WriteString(LPCSTR text);

    FILE* m_pStream;
};
