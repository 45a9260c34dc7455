#include "object.h"

#include "debugalloc.h"

#include <cstdio>
#include <cstdlib>
#include <new>

CObject* CRuntimeClass::CreateObject() const {
    return m_pfnCreateObject ? m_pfnCreateObject() : nullptr;
}

bool CRuntimeClass::IsDerivedFrom(const CRuntimeClass* base) const {
    for (const CRuntimeClass* cls = this; cls != nullptr;
         cls = cls->m_pfnGetBaseClass ? cls->m_pfnGetBaseClass() : nullptr)
        if (cls == base)
            return true;
    return false;
}

const CRuntimeClass* CObject::GetThisClass() {
    static const CRuntimeClass record{"CObject", static_cast<int>(sizeof(CObject)), 0xFFFF, nullptr,
                                      nullptr};
    return &record;
}

const CRuntimeClass* CObject::GetRuntimeClass() const {
    return GetThisClass();
}

bool CObject::IsKindOf(const CRuntimeClass* runtimeClass) const {
    return GetRuntimeClass()->IsDerivedFrom(runtimeClass);
}

void CObject::AssertValid() const {}

void CObject::Dump(CDumpContext& dc) const {
    dc << "a " << GetRuntimeClass()->m_lpszClassName << " at " << static_cast<const void*>(this)
       << "\n";
}

void* CObject::operator new(std::size_t size) {
    return operator new(size, nullptr, 0);
}

void* CObject::operator new(std::size_t size, const char* file, int line) {
    void* block = AfxDebugAlloc(size, file, line);
    if (block == nullptr)
        throw std::bad_alloc();
    return block;
}

void CObject::operator delete(void* block) {
    AfxDebugFree(block);
}

void CObject::operator delete(void* block, const char*, int) {
    AfxDebugFree(block);
}

void AfxAssertFailed(const char* file, int line, const char* expression) {
    std::fprintf(stderr, "%s(%d): assertion failed: %s\n", file, line, expression);
    std::abort();
}

void AfxAssertValidObject(const CObject* object, const char* file, int line) {
    if (object == nullptr)
        AfxAssertFailed(file, line, "object != nullptr");
    object->AssertValid();
}
