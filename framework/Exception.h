#pragma once

// The framework's exceptions. They are thrown as heap pointers (throw new CFileException...), the
// way the file classes' callers catch them. The TRY/CATCH macros are plain try/catch: inside a CATCH
// block the caught exception is deleted at the block's end unless THROW_LAST rethrows it; code that
// writes a bare catch (CException* e) calls e->Delete() itself.

#include "framework/Object.h"

class CException : public CObject {
    DECLARE_DYNAMIC(CException)
public:
    explicit CException(BOOL autoDelete = TRUE) : m_bAutoDelete(autoDelete) {}
    void Delete()
    {
        if (m_bAutoDelete)
            delete this;
    }

protected:
    BOOL m_bAutoDelete;   // FALSE for the one preallocated instance a failed allocation throws
};

class CMemoryException : public CException {
    DECLARE_DYNAMIC(CMemoryException)
public:
    explicit CMemoryException(BOOL autoDelete = TRUE) : CException(autoDelete) {}
};

[[noreturn]] void AfxThrowMemoryException();

// Deletes a caught exception when the CATCH block ends, unless it was rethrown.
class CExceptionCleanup {
public:
    explicit CExceptionCleanup(CException* e) : m_exception(e) {}
    CExceptionCleanup(const CExceptionCleanup&) = delete;
    CExceptionCleanup& operator=(const CExceptionCleanup&) = delete;
    ~CExceptionCleanup()
    {
        if (m_exception)
            m_exception->Delete();
    }
    void Keep() { m_exception = nullptr; }

private:
    CException* m_exception;
};

#define TRY try {
#define CATCH(className, e)    \
    }                          \
    catch (className * e)      \
    {                          \
        CExceptionCleanup frameworkCaught(e);
#define AND_CATCH(className, e) CATCH(className, e)
#define END_CATCH }
#define CATCH_ALL(e) CATCH(CException, e)
#define AND_CATCH_ALL(e) CATCH(CException, e)
#define END_CATCH_ALL }
#define THROW(e) throw e
#define THROW_LAST()             \
    do {                         \
        frameworkCaught.Keep();  \
        throw;                   \
    } while (0)
