#pragma once

// wsprintf-rule formatting into a fixed buffer. Format strings come from the catalog, a file the
// user can edit, and may produce any length: the text is cut at size - 1 characters and always
// terminated, never written past the buffer.

#include <cstdarg>

// Returns the length of the text in buffer.
int BoundedFormatV(char* buffer, int size, const char* format, va_list args);
int BoundedFormat(char* buffer, int size, const char* format, ...);
