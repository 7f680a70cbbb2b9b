#pragma once

// CString: the program's ANSI string, a value type with the member functions the dialogs and the
// core expect (printf-style Format, searches, edges clamped rather than failing, a writable buffer
// for Win32 calls that fill a char array).

#include <windows.h>

#include <cstdarg>
#include <cstddef>
#include <string>
#include <type_traits>

// printf-style checking of a C variadic function's literal formats (the C99 family is in use).
#define FRAMEWORK_PRINTF(fmtIndex, argIndex) __attribute__((format(__MINGW_PRINTF_FORMAT, fmtIndex, argIndex)))

class CString {
public:
    CString() = default;
    CString(const CString&) = default;
    CString(CString&&) noexcept = default;
    CString(LPCSTR text);                       // NULL gives an empty string
    CString(LPCSTR text, int length);
    CString(char ch, int repeat = 1);
    ~CString() = default;

    CString& operator=(const CString&) = default;
    CString& operator=(CString&&) noexcept = default;
    CString& operator=(LPCSTR text);
    CString& operator=(char ch);

    int GetLength() const { return (int)m_text.size(); }
    BOOL IsEmpty() const { return m_text.empty(); }
    void Empty() { m_text.clear(); }

    operator LPCSTR() const { return m_text.c_str(); }
    // Both index types, so that s[i] never has to choose between this and the built-in subscript.
    char operator[](int index) const { return m_text[(size_t)index]; }
    char operator[](unsigned index) const { return m_text[index]; }
    char GetAt(int index) const { return m_text[(size_t)index]; }
    void SetAt(int index, char ch) { m_text[(size_t)index] = ch; }

    CString& operator+=(const CString& text);
    CString& operator+=(LPCSTR text);
    CString& operator+=(char ch);

    int Compare(LPCSTR text) const;
    int CompareNoCase(LPCSTR text) const;

    // Out-of-range positions and counts are clamped to the string, as callers slicing user input rely on.
    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    CString Left(int count) const;
    CString Right(int count) const;
    CString SpanIncluding(LPCSTR charSet) const;
    CString SpanExcluding(LPCSTR charSet) const;

    void MakeUpper();
    void MakeLower();
    void MakeReverse();
    void TrimLeft();
    void TrimLeft(char target);
    void TrimLeft(LPCSTR targets);
    void TrimRight();
    void TrimRight(char target);
    void TrimRight(LPCSTR targets);
    int Replace(char oldChar, char newChar);
    int Replace(LPCSTR oldText, LPCSTR newText);
    int Remove(char ch);
    int Insert(int index, char ch);
    int Insert(int index, LPCSTR text);
    int Delete(int index, int count = 1);

    // -1 when not found.
    int Find(char ch) const;
    int Find(char ch, int start) const;
    int Find(LPCSTR text) const;
    int Find(LPCSTR text, int start) const;
    int ReverseFind(char ch) const;
    int FindOneOf(LPCSTR charSet) const;

    // printf-style. A CString argument is passed as its text, so "%s" takes one directly.
    template <class... Args>
    void Format(LPCSTR format, const Args&... args);
    template <class... Args>
    void Format(UINT formatId, const Args&... args);
    void FormatV(LPCSTR format, va_list args);

    // Loads a string table entry of the resource module; FALSE (and an empty string) when missing.
    BOOL LoadString(UINT id);

    // A writable array of at least minLength characters plus the terminator; ReleaseBuffer(-1)
    // takes the length up to the first NUL the caller wrote.
    LPSTR GetBuffer(int minLength);
    LPSTR GetBufferSetLength(int length);
    void ReleaseBuffer(int newLength = -1);

private:
    void FormatArgs(LPCSTR format, ...);

    std::string m_text;
};

// An argument as it may travel through '...': a CString would arrive as the address of a copy, not
// as its text, so it is handed over as LPCSTR. Functions of our own that take '...' and may be
// given strings wrap their arguments the same way.
template <class T>
    requires(!std::is_base_of_v<CString, T> && !std::is_base_of_v<std::string, T>)
const T& AfxVarArg(const T& value)
{
    return value;
}
inline LPCSTR AfxVarArg(const CString& value)
{
    return value;
}
void AfxVarArg(const std::string&) = delete;   // pass .c_str()

template <class... Args>
void CString::Format(LPCSTR format, const Args&... args)
{
    FormatArgs(format, AfxVarArg(args)...);
}

template <class... Args>
void CString::Format(UINT formatId, const Args&... args)
{
    CString format;
    format.LoadString(formatId);
    FormatArgs(format, AfxVarArg(args)...);
}

CString operator+(const CString& left, const CString& right);
CString operator+(const CString& left, LPCSTR right);
CString operator+(LPCSTR left, const CString& right);
CString operator+(const CString& left, char right);
CString operator+(char left, const CString& right);

// Every operand mix is spelled out: with the implicit LPCSTR conversion, a missing one would compare
// pointers or be ambiguous.
#define FRAMEWORK_CSTRING_RELATION(op)                    \
    bool operator op(const CString& left, const CString& right); \
    bool operator op(const CString& left, LPCSTR right);         \
    bool operator op(LPCSTR left, const CString& right);
FRAMEWORK_CSTRING_RELATION(==)
FRAMEWORK_CSTRING_RELATION(!=)
FRAMEWORK_CSTRING_RELATION(<)
FRAMEWORK_CSTRING_RELATION(>)
FRAMEWORK_CSTRING_RELATION(<=)
FRAMEWORK_CSTRING_RELATION(>=)
#undef FRAMEWORK_CSTRING_RELATION
