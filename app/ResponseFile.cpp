#include "app/ResponseFile.h"

#include <cstdio>

namespace {

// A piece of a text file: no NUL and no control character other than blanks and line ends.
bool IsText(const char* piece, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = (unsigned char)piece[i];
        if (c < 0x20 && c != '\t' && c != '\r' && c != '\n' && c != 0x1A)
            return false;
    }
    return true;
}

// A file that opens, holds something and only text; a folder opens on some systems and reads as
// an error.
bool IsReadableText(const char* name)
{
    FILE* file = fopen(name, "rb");
    if (!file)
        return false;
    char piece[512];
    size_t total = 0;
    bool text = true;
    for (size_t length; text && (length = fread(piece, 1, sizeof piece, file)) > 0; total += length)
        text = IsText(piece, length);
    const bool readable = text && total > 0 && !ferror(file);
    fclose(file);
    return readable;
}

// The response file a line of a response file names: after its first "@", up to a double quote or
// the line's end, without the blanks its line end became.
CString NestedName(const CString& piece)
{
    CString name = ResponseFileName(piece);
    name.TrimRight();
    return name;
}

// The text of file name, each line or piece after one blank, its line ends made blanks; next, the
// further response file it names, empty when it names none.
bool ReadResponseText(const CString& name, CString& text, CString& next)
{
    if (!IsReadableText(name))
        return false;
    FILE* file = fopen(name, "rt");
    if (!file)
        return false;
    char piece[512];
    while (fgets(piece, sizeof piece, file)) {
        for (char* c = piece; *c; ++c)
            if (*c == '\r' || *c == '\n')
                *c = ' ';
        text += ' ';
        text += piece;
        if (next.IsEmpty())
            next = NestedName(piece);
    }
    fclose(file);
    return true;
}

}  // namespace

CString ResponseFileName(const CString& commandLine)
{
    const int at = commandLine.Find('@');
    if (at < 0)
        return CString();
    // The name runs to the next double quote, blanks included.
    return commandLine.Mid(at + 1).SpanExcluding("\"");
}

int ExpandResponseFiles(CString& commandLine, CString* failedName)
{
    if (commandLine.Find('@') < 0)
        return kResponseFileExpanded;
    const CString outermost = ResponseFileName(commandLine);
    CString text;
    CString name = outermost;
    for (int depth = 1; !name.IsEmpty(); ++depth) {
        int failure = kResponseFileExpanded;
        CString next;
        if (depth > kMaxResponseFileDepth)
            failure = kResponseFileTooDeep;
        else if (!ReadResponseText(name, text, next))
            failure = kResponseFileUnreadable;
        if (failure != kResponseFileExpanded) {
            if (failedName)
                *failedName = failure == kResponseFileTooDeep ? outermost : name;
            return failure;
        }
        name = next;
    }
    commandLine += text;
    return kResponseFileExpanded;
}
