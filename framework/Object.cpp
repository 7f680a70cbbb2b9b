#include "framework/Object.h"

#include <cstring>
#include <vector>

namespace {

// Function-local so that registrations from other files' static initialisers find it constructed.
std::vector<const CRuntimeClass*>& Registry()
{
    static std::vector<const CRuntimeClass*> classes;
    return classes;
}

}  // namespace

const CRuntimeClass CObject::classCObject = {"CObject", (int)sizeof(CObject), nullptr, nullptr};

const CRuntimeClass* CObject::GetRuntimeClass() const
{
    return &classCObject;
}

CObject* CRuntimeClass::CreateObject() const
{
    return m_pfnCreateObject ? m_pfnCreateObject() : nullptr;
}

BOOL CRuntimeClass::IsDerivedFrom(const CRuntimeClass* base) const
{
    for (const CRuntimeClass* cls = this; cls; cls = cls->m_pBaseClass)
        if (cls == base)
            return TRUE;
    return FALSE;
}

const CRuntimeClass* CRuntimeClass::FromName(LPCSTR className)
{
    for (const CRuntimeClass* cls : Registry())
        if (std::strcmp(cls->m_lpszClassName, className) == 0)
            return cls;
    return std::strcmp(className, "CObject") == 0 ? &CObject::classCObject : nullptr;
}

CRuntimeClassRegistration::CRuntimeClassRegistration(const CRuntimeClass* cls)
{
    Registry().push_back(cls);
}
