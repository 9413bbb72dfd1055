// DataBuffer's whole-file loading. It lives in the file layer, beside the
// open and read operations it uses; the buffer's own block handling stays in
// core (resetForLoad, allocateZeroedForLoad).
#include "core/DataBuffer.h"

#include <cstdint>

#include "core/LogBase.h"
#include "core/StringBuffer.h"
#include "core/XString.h"
#include "io/FileSystem.h"
#include "platform/win32.h"

namespace {

// Logs the thread's last Win32 error text as an error. Called right after
// the failing system call, before anything can change the last error.
void logLastWindowsError(LogBase* log) {
    if (log == nullptr) return;
    StringBuffer text;
    text.appendLastWindowsError();
    log->logError(text.getString());
}

}  // namespace

bool DataBuffer::loadFileAnsi(const char* ansiPath, LogBase* log) {
    checkGuardByte(m_guard);
    resetForLoad();
    HANDLE file = openForReadAnsi(ansiPath, log);
    if (file == INVALID_HANDLE_VALUE) return false;
    return readWholeFile(file, ansiPath, log);
}

bool DataBuffer::loadFileUtf16(const uint16_t* utf16Path, LogBase* log) {
    checkGuardByte(m_guard);
    resetForLoad();
    HANDLE file = openForReadWide(utf16Path, log);
    if (file == INVALID_HANDLE_VALUE) return false;
    return readWholeFile(file, nullptr, log);
}

bool DataBuffer::loadFileUtf8(const char* utf8Path, LogBase* log) {
    checkGuardByte(m_guard);
    XString path;
    path.setFromUtf8(utf8Path);
    if (path.isAnsiRepresentable()) return loadFileAnsi(path.getAnsi(), log);
    return loadFileUtf16(path.getUtf16(), log);
}

// Reads the open file into a fresh block of its size plus four zero bytes
// and closes it. ansiPathForLog (may be null) names the file in the entries
// of a failed read.
bool DataBuffer::readWholeFile(void* file, const char* ansiPathForLog, LogBase* log) {
    DWORD sizeHigh = 0;
    const DWORD fileSize = GetFileSize(file, &sizeHigh);
    if (fileSize == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
        logLastWindowsError(log);
        closeFileHandle(file);
        return false;
    }
    // The whole file plus its zero tail must fit the 32-bit size fields;
    // reading only the low 32 bits of a larger size would silently truncate.
    if (sizeHigh != 0 || fileSize > UINT32_MAX - kLoadedFileZeroTailBytes) {
        if (log != nullptr) log->logError("File too large to load into memory");
        closeFileHandle(file);
        return false;
    }
    if (fileSize == 0) {
        closeFileHandle(file);
        return true;
    }

    uint8_t* const block = allocateZeroedForLoad(fileSize);

    bool complete = true;
    DWORD bytesRead = 0;
    if (!ReadFile(file, block, fileSize, &bytesRead, nullptr)) {
        complete = false;
        logLastWindowsError(log);
        if (log != nullptr && ansiPathForLog != nullptr) {
            log->logData("filename", ansiPathForLog);
            XString currentDir;
            getCurrentDir(currentDir);
            log->logData("current_dir", currentDir.getAnsi());
        }
    }
    if (bytesRead < fileSize) {
        complete = false;
        if (log != nullptr) log->logError("Failed to read the entire file");
    }
    closeFileHandle(file);
    return complete;
}
