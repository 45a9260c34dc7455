// The root of the class layer: run-time class records, diagnostics and the debug
// allocator for every object created on the heap.
#pragma once

#include "afxtypes.h"
#include "dumpcontext.h"

#include <cstddef>

class CObject;

struct CRuntimeClass {
    const char* m_lpszClassName;
    int m_nObjectSize;
    UINT m_wSchema;
    CObject* (*m_pfnCreateObject)();
    const CRuntimeClass* (*m_pfnGetBaseClass)();

    // Null for a class without a creation function.
    CObject* CreateObject() const;
    bool IsDerivedFrom(const CRuntimeClass* base) const;
};

class CObject {
public:
    virtual ~CObject() = default;

    virtual const CRuntimeClass* GetRuntimeClass() const;
    static const CRuntimeClass* GetThisClass();
    bool IsKindOf(const CRuntimeClass* runtimeClass) const;

    virtual void AssertValid() const;
    virtual void Dump(CDumpContext& dc) const;

    // Every object on the heap comes from the debug allocator.
    static void* operator new(std::size_t size);
    static void* operator new(std::size_t size, const char* file, int line);
    static void operator delete(void* block);
    static void operator delete(void* block, const char* file, int line);

protected:
    CObject() = default;
    CObject(const CObject&) = delete;
    CObject& operator=(const CObject&) = delete;
};

[[noreturn]] void AfxAssertFailed(const char* file, int line, const char* expression);
void AfxAssertValidObject(const CObject* object, const char* file, int line);

#ifdef _DEBUG
#define ASSERT(f) ((f) ? (void)0 : AfxAssertFailed(__FILE__, __LINE__, #f))
#define ASSERT_VALID(p) AfxAssertValidObject((p), __FILE__, __LINE__)
#else
#define ASSERT(f) ((void)0)
#define ASSERT_VALID(p) ((void)0)
#endif

#define DEBUG_NEW new (__FILE__, __LINE__)

#define RUNTIME_CLASS(class_name) (class_name::GetThisClass())

#define DECLARE_DYNAMIC(class_name)                                                                \
public:                                                                                            \
    static const CRuntimeClass* GetThisClass();                                                    \
    const CRuntimeClass* GetRuntimeClass() const override;

#define DECLARE_DYNCREATE(class_name)                                                              \
    DECLARE_DYNAMIC(class_name)                                                                    \
    static CObject* CreateObject();

#define AFX_IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, create)                            \
    const CRuntimeClass* class_name::GetThisClass() {                                              \
        static const CRuntimeClass record{#class_name, static_cast<int>(sizeof(class_name)),       \
                                          0xFFFF, create, &base_class_name::GetThisClass};         \
        return &record;                                                                            \
    }                                                                                              \
    const CRuntimeClass* class_name::GetRuntimeClass() const {                                     \
        return GetThisClass();                                                                     \
    }

#define IMPLEMENT_DYNAMIC(class_name, base_class_name)                                             \
    AFX_IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, nullptr)

#define IMPLEMENT_DYNCREATE(class_name, base_class_name)                                           \
    CObject* class_name::CreateObject() {                                                          \
        return DEBUG_NEW class_name;                                                               \
    }                                                                                              \
    AFX_IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, &class_name::CreateObject)
