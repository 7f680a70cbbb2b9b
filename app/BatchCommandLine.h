#pragma once

// The batch command language as text: keywords are found by their first occurrence anywhere in the
// string (inside longer words and file names too), and their values are cut out in the three ways
// the language knows. Every value is copied into a bounded buffer; numbers are read saturating,
// so that no text can overflow a buffer or an integer conversion.

#include "framework/String.h"

#include <cstdint>

// The longest file name "scan:" and "set:" accept.
constexpr int kBatchMaxFileName = 259;

class CBatchCommandLine {
public:
    explicit CBatchCommandLine(const CString& text) : m_strText(text) {}

    const CString& GetText() const { return m_strText; }
    bool Has(const char* keyword) const { return m_strText.Find(keyword) >= 0; }

    // From the end of the keyword up to the first blank or "/", or the end of the string.
    CString WordValue(const char* keyword) const;
    // A word value that also ends at a double quote, which no file name holds: the closing quote of
    // a command line given as one quoted argument is not part of the name.
    CString FileNameValue(const char* keyword) const;
    // From the end of the keyword up to the first blank ("gamma:").
    CString BlankEndedValue(const char* keyword) const;
    // Item index (0-based) of the comma list after the keyword; empty beyond the end.
    CString ListItem(const char* keyword, int index) const;

    // Leading blanks, one sign, decimal digits; 0 without digits; saturates at the 32-bit limits.
    static int32_t ParseInt(const char* text);
    // A decimal number as strtod reads it; 0 when there is none.
    static double ParseDouble(const char* text);
    // ceil(value x factor) as a 32-bit integer, saturating (0 for a value that is no number).
    static int32_t CeilScaled(double value, double factor);

private:
    CString ValueUntil(const char* keyword, const char* stops) const;

    CString m_strText;
};
