// The diagnostic trace: "file(line): text" on standard error, in debug builds or when the
// environment variable VEXLAN_TRACE is set. Never shown in the user interface.
#pragma once

constexpr int traceGeneral = 0;

bool AfxTraceEnabled();
void AfxTrace(const char* file, int line, int category, int level, const char* format, ...)
    __attribute__((format(printf, 5, 6)));

#define TRACE(text) AfxTrace(__FILE__, __LINE__, traceGeneral, 0, "%s", (text))
