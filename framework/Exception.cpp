#include "framework/Exception.h"

IMPLEMENT_DYNAMIC(CException, CObject)
IMPLEMENT_DYNAMIC(CMemoryException, CException)

void AfxThrowMemoryException()
{
    // Out of memory there may be no room for a new exception object.
    static CMemoryException outOfMemory(FALSE);
    throw &outOfMemory;
}
