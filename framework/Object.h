#pragma once

// CObject: the common base that carries a run-time class record, so that code holding a CObject*
// (list entries, windows found by handle, caught exceptions) can ask what it really points at.

#include <windows.h>

#include <cassert>

#ifndef ASSERT
#define ASSERT(expr) assert(expr)
#endif
#ifndef VERIFY
#define VERIFY(expr) ((void)(expr))
#endif

class CObject;

struct CRuntimeClass {
    LPCSTR m_lpszClassName;
    int m_nObjectSize;
    const CRuntimeClass* m_pBaseClass;
    CObject* (*m_pfnCreateObject)();   // NULL unless the class is dynamically creatable

    CObject* CreateObject() const;
    BOOL IsDerivedFrom(const CRuntimeClass* base) const;
    static const CRuntimeClass* FromName(LPCSTR className);
};

class CObject {
public:
    virtual ~CObject() = default;
    virtual const CRuntimeClass* GetRuntimeClass() const;
    BOOL IsKindOf(const CRuntimeClass* cls) const { return GetRuntimeClass()->IsDerivedFrom(cls); }

    static const CRuntimeClass classCObject;

protected:
    CObject() = default;
    CObject(const CObject&) = default;
    CObject& operator=(const CObject&) = default;
};

// Registers a class record so FromName can find it by name (document templates create by name).
struct CRuntimeClassRegistration {
    explicit CRuntimeClassRegistration(const CRuntimeClass* cls);
};

#define RUNTIME_CLASS(className) (&className::class##className)

#define DECLARE_DYNAMIC(className)                                   \
public:                                                              \
    static const CRuntimeClass class##className;                     \
    const CRuntimeClass* GetRuntimeClass() const override;

#define DECLARE_DYNCREATE(className)                                 \
    DECLARE_DYNAMIC(className)                                       \
    static CObject* CreateObject();

#define FRAMEWORK_IMPLEMENT_RUNTIMECLASS(className, baseName, create)                        \
    const CRuntimeClass className::class##className = {#className, (int)sizeof(className),    \
                                                       RUNTIME_CLASS(baseName), create};      \
    static const CRuntimeClassRegistration registration##className(RUNTIME_CLASS(className)); \
    const CRuntimeClass* className::GetRuntimeClass() const { return RUNTIME_CLASS(className); }

#define IMPLEMENT_DYNAMIC(className, baseName) \
    FRAMEWORK_IMPLEMENT_RUNTIMECLASS(className, baseName, nullptr)

#define IMPLEMENT_DYNCREATE(className, baseName)                      \
    CObject* className::CreateObject() { return new className; }      \
    FRAMEWORK_IMPLEMENT_RUNTIMECLASS(className, baseName, className::CreateObject)
