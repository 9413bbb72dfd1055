#include "app/DiagnosticLog.h"

#include <cstdio>

#include "platform/win32.h"

void writeDiagnosticLines(const char* prefix, const StringBuffer& setupFilename) {
    char currentDir[kDiagnosticCurDirChars] = {0};
    DWORD length = GetCurrentDirectoryA(kDiagnosticCurDirChars, currentDir);
    // A directory longer than the buffer is reported as the required size
    // and leaves the buffer undefined: log it as empty then.
    if (length == 0 || length >= kDiagnosticCurDirChars) currentDir[0] = 0;

    FILE* log = std::fopen(kDiagnosticLogPath, "a");
    if (log == nullptr) return;
    std::fprintf(log, "%sm_setupFilename = %s\n", prefix, setupFilename.getString());
    std::fprintf(log, "%scurDir = %s\n", prefix, currentDir);
    std::fclose(log);
}
