#include "core/messages/BoundedFormat.h"

#include <windows.h>
#include <shlwapi.h>

#include <cstring>

int BoundedFormatV(char* buffer, int size, const char* format, va_list args)
{
    if (size <= 0)
        return 0;
    buffer[0] = '\0';
    if (format)
        wvnsprintfA(buffer, size, format, args);
    // Some versions leave the last byte unset when they cut the text.
    buffer[size - 1] = '\0';
    return (int)std::strlen(buffer);
}

int BoundedFormat(char* buffer, int size, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const int length = BoundedFormatV(buffer, size, format, args);
    va_end(args);
    return length;
}
