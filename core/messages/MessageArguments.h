#pragma once

// The values the program passes with each catalog message, so that the catalog can refuse a text
// that would read values nobody passed: wsprintf has no way to stop at the last value, and a text
// such as "%s%n" in a catalog the user edited would crash the report.

struct CMessageArguments {
    int id;
    // One letter per value, in order: i for an integer (32 bits), s for a string.
    const char* kinds;
};

// Written by scripts/make_eng_msg.py from its one table; ids that take no values are not listed.
extern const CMessageArguments kMessageArguments[];
extern const int kMessageArgumentCount;

// The kinds of the values the callers of id pass; "" for an id that takes none.
const char* MessageArgumentKinds(int id);

// True when text, as a wsprintf format, takes exactly values of these kinds; false for a
// conversion that cannot be formatted safely (%n, floating point, wide strings, a lone % at the
// end).
bool TakesArguments(const char* text, const char* kinds);

// The kind of the conversion whose text starts at p, just after its percent sign, with p left after
// it: 'i' for one that takes a 32-bit integer, 's' for a narrow string, 0 for any other.
char MessageConversionKind(const char*& p);
