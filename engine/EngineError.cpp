#include "engine/EngineError.h"

#include <cstdarg>
#include <cstdio>

int CEngineError::Fail(int code, const char* format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    m_nCode = code;
    m_strText = text;
    return 1;
}

void CEngineError::Clear()
{
    m_nCode = 0;
    m_strText.clear();
}
