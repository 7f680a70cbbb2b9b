// <cstdio> first: the C++ headers select the C99 printf family that Format relies on for %lld,
// %zu and a correct length from vsnprintf.
#include <cstdio>

#include "framework/String.h"

#include "framework/Module.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

const char kWhitespace[] = " \t\r\n\v\f";

int Clamp(int value, int low, int high)
{
    return value < low ? low : (value > high ? high : value);
}

int ToIndex(std::string::size_type pos)
{
    return pos == std::string::npos ? -1 : (int)pos;
}

}  // namespace

CString::CString(LPCSTR text) : m_text(text ? text : "") {}

CString::CString(LPCSTR text, int length) : m_text(text && length > 0 ? text : "", text && length > 0 ? (size_t)length : 0) {}

CString::CString(char ch, int repeat) : m_text(repeat > 0 ? (size_t)repeat : 0, ch) {}

CString& CString::operator=(LPCSTR text)
{
    m_text = text ? text : "";
    return *this;
}

CString& CString::operator=(char ch)
{
    m_text.assign(1, ch);
    return *this;
}

CString& CString::operator+=(const CString& text)
{
    m_text += text.m_text;
    return *this;
}

CString& CString::operator+=(LPCSTR text)
{
    if (text)
        m_text += text;
    return *this;
}

CString& CString::operator+=(char ch)
{
    m_text += ch;
    return *this;
}

int CString::Compare(LPCSTR text) const
{
    return std::strcmp(m_text.c_str(), text ? text : "");
}

int CString::CompareNoCase(LPCSTR text) const
{
    return _stricmp(m_text.c_str(), text ? text : "");
}

CString CString::Mid(int first) const
{
    return Mid(first, GetLength());
}

CString CString::Mid(int first, int count) const
{
    first = Clamp(first, 0, GetLength());
    count = Clamp(count, 0, GetLength() - first);
    return CString(m_text.c_str() + first, count);
}

CString CString::Left(int count) const
{
    return Mid(0, count);
}

CString CString::Right(int count) const
{
    count = Clamp(count, 0, GetLength());
    return Mid(GetLength() - count, count);
}

CString CString::SpanIncluding(LPCSTR charSet) const
{
    return Left((int)std::strspn(m_text.c_str(), charSet));
}

CString CString::SpanExcluding(LPCSTR charSet) const
{
    return Left((int)std::strcspn(m_text.c_str(), charSet));
}

void CString::MakeUpper()
{
    for (char& c : m_text)
        c = (char)std::toupper((unsigned char)c);
}

void CString::MakeLower()
{
    for (char& c : m_text)
        c = (char)std::tolower((unsigned char)c);
}

void CString::MakeReverse()
{
    std::reverse(m_text.begin(), m_text.end());
}

void CString::TrimLeft()
{
    TrimLeft(kWhitespace);
}

void CString::TrimLeft(char target)
{
    const char targets[2] = {target, '\0'};
    TrimLeft(targets);
}

void CString::TrimLeft(LPCSTR targets)
{
    m_text.erase(0, std::min(m_text.find_first_not_of(targets), m_text.size()));
}

void CString::TrimRight()
{
    TrimRight(kWhitespace);
}

void CString::TrimRight(char target)
{
    const char targets[2] = {target, '\0'};
    TrimRight(targets);
}

void CString::TrimRight(LPCSTR targets)
{
    const std::string::size_type last = m_text.find_last_not_of(targets);
    m_text.erase(last == std::string::npos ? 0 : last + 1);
}

int CString::Replace(char oldChar, char newChar)
{
    int count = 0;
    for (char& c : m_text)
        if (c == oldChar) {
            c = newChar;
            ++count;
        }
    return count;
}

int CString::Replace(LPCSTR oldText, LPCSTR newText)
{
    const size_t oldLength = oldText ? std::strlen(oldText) : 0;
    if (oldLength == 0)
        return 0;
    const std::string replacement = newText ? newText : "";
    int count = 0;
    for (size_t pos = m_text.find(oldText); pos != std::string::npos;
         pos = m_text.find(oldText, pos + replacement.size())) {
        m_text.replace(pos, oldLength, replacement);
        ++count;
    }
    return count;
}

int CString::Remove(char ch)
{
    const size_t before = m_text.size();
    m_text.erase(std::remove(m_text.begin(), m_text.end(), ch), m_text.end());
    return (int)(before - m_text.size());
}

int CString::Insert(int index, char ch)
{
    m_text.insert((size_t)Clamp(index, 0, GetLength()), 1, ch);
    return GetLength();
}

int CString::Insert(int index, LPCSTR text)
{
    m_text.insert((size_t)Clamp(index, 0, GetLength()), text ? text : "");
    return GetLength();
}

int CString::Delete(int index, int count)
{
    index = Clamp(index, 0, GetLength());
    m_text.erase((size_t)index, (size_t)Clamp(count, 0, GetLength() - index));
    return GetLength();
}

int CString::Find(char ch) const
{
    return Find(ch, 0);
}

int CString::Find(char ch, int start) const
{
    if (start < 0 || start >= GetLength())
        return -1;
    return ToIndex(m_text.find(ch, (size_t)start));
}

int CString::Find(LPCSTR text) const
{
    return Find(text, 0);
}

int CString::Find(LPCSTR text, int start) const
{
    if (!text || start < 0 || start > GetLength())
        return -1;
    return ToIndex(m_text.find(text, (size_t)start));
}

int CString::ReverseFind(char ch) const
{
    return ToIndex(m_text.rfind(ch));
}

int CString::FindOneOf(LPCSTR charSet) const
{
    return ToIndex(m_text.find_first_of(charSet ? charSet : ""));
}

void CString::FormatArgs(LPCSTR format, ...)
{
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CString::FormatV(LPCSTR format, va_list args)
{
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length <= 0) {
        m_text.clear();
        return;
    }
    std::string text((size_t)length, '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, args);
    m_text.swap(text);
}

BOOL CString::LoadString(UINT id)
{
    // LoadString cannot tell the length beforehand: grow until the text fits with room to spare.
    for (int size = 256; size <= 65536; size *= 2) {
        const int copied = ::LoadStringA(AfxGetResourceHandle(), id, GetBuffer(size), size + 1);
        if (copied < size) {
            ReleaseBuffer(copied);
            return copied > 0;
        }
    }
    ReleaseBuffer();
    return TRUE;
}

LPSTR CString::GetBuffer(int minLength)
{
    if (minLength > GetLength())
        m_text.resize((size_t)minLength);
    return m_text.data();
}

LPSTR CString::GetBufferSetLength(int length)
{
    m_text.resize((size_t)std::max(length, 0));
    return m_text.data();
}

void CString::ReleaseBuffer(int newLength)
{
    if (newLength < 0)
        newLength = (int)strnlen(m_text.c_str(), m_text.size());
    m_text.resize((size_t)Clamp(newLength, 0, GetLength()));
}

CString operator+(const CString& left, const CString& right)
{
    CString result(left);
    return result += right;
}

CString operator+(const CString& left, LPCSTR right)
{
    CString result(left);
    return result += right;
}

CString operator+(LPCSTR left, const CString& right)
{
    CString result(left);
    return result += right;
}

CString operator+(const CString& left, char right)
{
    CString result(left);
    return result += right;
}

CString operator+(char left, const CString& right)
{
    CString result(left);
    return result += right;
}

#define FRAMEWORK_CSTRING_RELATION(op)                                                              \
    bool operator op(const CString& left, const CString& right) { return left.Compare(right) op 0; } \
    bool operator op(const CString& left, LPCSTR right) { return left.Compare(right) op 0; }         \
    bool operator op(LPCSTR left, const CString& right) { return 0 op right.Compare(left); }
FRAMEWORK_CSTRING_RELATION(==)
FRAMEWORK_CSTRING_RELATION(!=)
FRAMEWORK_CSTRING_RELATION(<)
FRAMEWORK_CSTRING_RELATION(>)
FRAMEWORK_CSTRING_RELATION(<=)
FRAMEWORK_CSTRING_RELATION(>=)
#undef FRAMEWORK_CSTRING_RELATION
