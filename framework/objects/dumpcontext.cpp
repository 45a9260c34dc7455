#include "dumpcontext.h"

#include <iostream>

CDumpContext::CDumpContext(std::ostream* stream) : m_pStream(stream ? stream : &std::cerr) {}

CDumpContext& CDumpContext::operator<<(const char* text) {
    *m_pStream << (text ? text : "(null)");
    return *this;
}

CDumpContext& CDumpContext::operator<<(const void* pointer) {
    *m_pStream << pointer;
    return *this;
}

CDumpContext& CDumpContext::operator<<(long long value) {
    *m_pStream << value;
    return *this;
}
