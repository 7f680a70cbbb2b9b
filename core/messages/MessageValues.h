#pragma once

// The values a caller passes with a catalog message, taken once by the kinds its callers pass
// (MessageArguments.h), so that a report can still say what happened when its text fails: a
// catalog without a text for the id, or with one that was dropped because it asked for other values,
// gives the id and the values instead of an empty line. A very long value (a file name of thousands
// of characters) is shortened in its middle, so that it never pushes the reason out of the text.

#include "framework/String.h"

#include <cstdarg>
#include <cstdint>
#include <vector>

// A string value longer than this keeps its beginning and its end around "...".
constexpr int kLongestMessageValue = 160;
// A formatted message holds at most this many characters, as the reporter's buffer always did.
constexpr int kLongestMessageText = 511;

class CMessageValues {
public:
    CMessageValues(const char* kinds, va_list args);

    // text, a wsprintf format that takes exactly these values, formatted with them.
    CString Format(const char* text) const;
    // "Message <id>: <value>, <value>", for a message without a usable text.
    CString Describe(int id) const;

private:
    struct CValue {
        char kind;  // 'i' or 's'
        int32_t number;
        CString text;
    };
    std::vector<CValue> m_Values;
};

// value when it has at most kLongestMessageValue characters, else its beginning, "..." and its end.
CString ShortenedMessageValue(const char* value);
