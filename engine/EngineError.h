#pragma once

// The engine's last error: a code of CmsError and a text naming what failed.

#include <string>

class CEngineError {
public:
    // Records the failure and returns 1, the engine's failure result, so that operations can end
    // with "return m_error.Fail(...)".
    int Fail(int code, const char* format, ...) __attribute__((format(printf, 3, 4)));
    void Clear();

    int Code() const { return m_nCode; }
    const char* Text() const { return m_strText.c_str(); }

private:
    int m_nCode = 0;
    std::string m_strText;
};
