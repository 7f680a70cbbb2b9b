#include "app/ResponseFile.h"

#include <cstdio>

int ExpandResponseFiles(CString& commandLine)
{
    const int at = commandLine.Find('@');
    if (at < 0)
        return 1;
    // The name runs to the next double quote, blanks included.
    const CString name = commandLine.Mid(at + 1).SpanExcluding("\"");
    FILE* file = fopen(name, "rt");
    if (!file)
        return 1;
    char piece[512];
    while (fgets(piece, sizeof piece, file)) {
        for (char* c = piece; *c; ++c)
            if (*c == '\r' || *c == '\n')
                *c = ' ';
        commandLine += ' ';
        commandLine += piece;
    }
    fclose(file);
    return 1;
}
