#include "app/BatchCommandLine.h"

#include <cmath>
#include <cstdlib>
#include <limits>

CString CBatchCommandLine::ValueUntil(const char* keyword, const char* stops) const
{
    const int at = m_strText.Find(keyword);
    if (at < 0)
        return CString();
    const CString rest = m_strText.Mid(at + (int)strlen(keyword));
    return rest.SpanExcluding(stops);
}

CString CBatchCommandLine::WordValue(const char* keyword) const
{
    return ValueUntil(keyword, " /");
}

CString CBatchCommandLine::FileNameValue(const char* keyword) const
{
    return ValueUntil(keyword, " /\"");
}

CString CBatchCommandLine::BlankEndedValue(const char* keyword) const
{
    return ValueUntil(keyword, " ");
}

CString CBatchCommandLine::ListItem(const char* keyword, int index) const
{
    int at = m_strText.Find(keyword);
    if (at < 0)
        return CString();
    at += (int)strlen(keyword);
    for (int item = 0; item < index; ++item) {
        const int comma = m_strText.Find(',', at);
        if (comma < 0)
            return CString();
        at = comma + 1;
    }
    return m_strText.Mid(at).SpanExcluding(",");
}

int32_t CBatchCommandLine::ParseInt(const char* text)
{
    while (*text == ' ' || *text == '\t')
        ++text;
    bool negative = false;
    if (*text == '+' || *text == '-')
        negative = *text++ == '-';
    int64_t value = 0;
    const int64_t limit = negative ? -(int64_t)std::numeric_limits<int32_t>::min()
                                   : (int64_t)std::numeric_limits<int32_t>::max();
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > limit)
            value = limit;
    }
    return (int32_t)(negative ? -value : value);
}

double CBatchCommandLine::ParseDouble(const char* text)
{
    return strtod(text, nullptr);
}

int32_t CBatchCommandLine::CeilScaled(double value, double factor)
{
    const double scaled = std::ceil(value * factor);
    if (std::isnan(scaled))
        return 0;
    // A conversion of a value outside the integer range is undefined; such values take the limit.
    if (scaled >= (double)std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (scaled <= (double)std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return (int32_t)scaled;
}
