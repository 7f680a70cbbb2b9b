#include "core/messages/MessageValues.h"

#include "core/messages/BoundedFormat.h"
#include "core/messages/MessageArguments.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int kValueHead = 100;
constexpr int kValueTail = kLongestMessageValue - kValueHead - 3;

// One conversion formatted alone, so that no value is read that the conversion does not name.
CString FormatOne(const CString& conversion, char kind, int32_t number, const CString& text)
{
    char piece[kLongestMessageText + 1];
    if (kind == 'i')
        BoundedFormat(piece, sizeof piece, conversion, number);
    else
        BoundedFormat(piece, sizeof piece, conversion, (const char*)text);
    return piece;
}

CString CutToLongest(const CString& text)
{
    return text.GetLength() > kLongestMessageText ? text.Left(kLongestMessageText) : text;
}

}  // namespace

CString ShortenedMessageValue(const char* value)
{
    const CString whole = value ? value : "";
    if (whole.GetLength() <= kLongestMessageValue)
        return whole;
    return whole.Left(kValueHead) + "..." + whole.Right(kValueTail);
}

CMessageValues::CMessageValues(const char* kinds, va_list args)
{
    for (const char* kind = kinds; *kind; ++kind) {
        if (*kind == 'i')
            m_Values.push_back({'i', va_arg(args, int32_t), CString()});
        else
            m_Values.push_back({'s', 0, ShortenedMessageValue(va_arg(args, const char*))});
    }
}

CString CMessageValues::Format(const char* text) const
{
    CString result;
    size_t next = 0;
    for (const char* p = text; *p && result.GetLength() < kLongestMessageText;) {
        if (*p != '%') {
            result += *p++;
            continue;
        }
        const char* start = p++;
        if (*p == '%') {
            result += *p++;
            continue;
        }
        const char kind = MessageConversionKind(p);
        // The catalog keeps no text whose conversions differ from the values; this is the guard.
        if (kind == 0 || next >= m_Values.size() || m_Values[next].kind != kind)
            break;
        const CValue& value = m_Values[next++];
        result += FormatOne(CString(start, (int)(p - start)), kind, value.number, value.text);
    }
    return CutToLongest(result);
}

CString CMessageValues::Describe(int id) const
{
    char number[32];
    snprintf(number, sizeof number, "Message %d", id);
    CString result = number;
    const char* separator = ": ";
    for (const CValue& value : m_Values) {
        result += separator;
        if (value.kind == 'i') {
            snprintf(number, sizeof number, "%ld", (long)value.number);
            result += number;
        } else {
            result += value.text;
        }
        separator = ", ";
    }
    return CutToLongest(result);
}
