#include "trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

bool AfxTraceEnabled() {
#ifdef _DEBUG
    return true;
#else
    return std::getenv("VEXLAN_TRACE") != nullptr;
#endif
}

void AfxTrace(const char* file, int line, int /*category*/, int /*level*/, const char* format,
              ...) {
    if (!AfxTraceEnabled())
        return;
    std::fprintf(stderr, "%s(%d): ", file, line);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
}
