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
    // Plain writes: the lines need no formatting.
    const char* lines[] = {
        prefix, "m_setupFilename = ", setupFilename.getString(), "\n", prefix, "curDir = ", currentDir, "\n"};
    for (const char* text : lines) std::fputs(text, log);
    std::fclose(log);
}
