// Last-error state, errno translation and the system's message texts.
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/posix/PosixLayer.h"

namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

struct ErrnoMapping {
    int errnoValue;
    DWORD win32Error;
};

// errno values as the Win32 codes a Windows file API would give for the same
// situation. ENOENT is refined by setLastErrorForPath.
constexpr ErrnoMapping kErrnoMappings[] = {
    {ENOENT, ERROR_FILE_NOT_FOUND},
    {ENOTDIR, ERROR_PATH_NOT_FOUND},
    {EACCES, ERROR_ACCESS_DENIED},
    {EPERM, ERROR_ACCESS_DENIED},
    {EROFS, ERROR_ACCESS_DENIED},
    {EISDIR, ERROR_ACCESS_DENIED},
    {ETXTBSY, ERROR_SHARING_VIOLATION},
    {EEXIST, ERROR_ALREADY_EXISTS},
    {ENOSPC, ERROR_DISK_FULL},
    {EDQUOT, ERROR_DISK_FULL},
    {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
    {EBADF, ERROR_INVALID_HANDLE},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {ENOTEMPTY, ERROR_DIR_NOT_EMPTY},
    {EBUSY, ERROR_BUSY},
    {ELOOP, ERROR_CANT_RESOLVE_FILENAME},
    {EXDEV, ERROR_NOT_SAME_DEVICE},
    {EFBIG, ERROR_FILE_TOO_LARGE},
    {EIO, ERROR_IO_DEVICE},
    {ENOEXEC, ERROR_BAD_EXE_FORMAT},
    {ESPIPE, ERROR_INVALID_FUNCTION},
    {ENOSYS, ERROR_CALL_NOT_IMPLEMENTED},
    {EOPNOTSUPP, ERROR_NOT_SUPPORTED},
    {EPIPE, ERROR_BROKEN_PIPE},
};

struct SystemMessage {
    DWORD code;
    const char* text;
};

// The system's texts for the codes this layer produces (English, as the
// neutral language gives them), each ending with CR LF as FormatMessageA
// returns it.
constexpr SystemMessage kSystemMessages[] = {
    {ERROR_SUCCESS, "The operation completed successfully.\r\n"},
    {ERROR_INVALID_FUNCTION, "Incorrect function.\r\n"},
    {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified.\r\n"},
    {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified.\r\n"},
    {ERROR_TOO_MANY_OPEN_FILES, "The system cannot open the file.\r\n"},
    {ERROR_ACCESS_DENIED, "Access is denied.\r\n"},
    {ERROR_INVALID_HANDLE, "The handle is invalid.\r\n"},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command.\r\n"},
    {ERROR_BAD_FORMAT, "An attempt was made to load a program with an incorrect format.\r\n"},
    {ERROR_NOT_SAME_DEVICE, "The system cannot move the file to a different disk drive.\r\n"},
    {ERROR_GEN_FAILURE, "A device attached to the system is not functioning.\r\n"},
    {ERROR_SHARING_VIOLATION,
     "The process cannot access the file because it is being used by another process.\r\n"},
    {ERROR_HANDLE_EOF, "Reached the end of the file.\r\n"},
    {ERROR_NOT_SUPPORTED, "The request is not supported.\r\n"},
    {ERROR_FILE_EXISTS, "The file exists.\r\n"},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect.\r\n"},
    {ERROR_BROKEN_PIPE, "The pipe has been ended.\r\n"},
    {ERROR_DISK_FULL, "There is not enough space on the disk.\r\n"},
    {ERROR_CALL_NOT_IMPLEMENTED, "This function is not supported on this system.\r\n"},
    {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small.\r\n"},
    {ERROR_INVALID_NAME, "The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {ERROR_NEGATIVE_SEEK,
     "An attempt was made to move the file pointer before the beginning of the file.\r\n"},
    {ERROR_DIR_NOT_EMPTY, "The directory is not empty.\r\n"},
    {ERROR_BUSY, "The requested resource is in use.\r\n"},
    {ERROR_ALREADY_EXISTS, "Cannot create a file when that file already exists.\r\n"},
    {ERROR_BAD_EXE_FORMAT, "%1 is not a valid Win32 application.\r\n"},
    {ERROR_FILENAME_EXCED_RANGE, "The filename or extension is too long.\r\n"},
    {ERROR_FILE_TOO_LARGE, "The file size exceeds the limit allowed and cannot be saved.\r\n"},
    {ERROR_DIRECTORY, "The directory name is invalid.\r\n"},
    {ERROR_IO_DEVICE, "The request could not be performed because of an I/O device error.\r\n"},
    {ERROR_RESOURCE_NAME_NOT_FOUND, "The specified resource name cannot be found in the image file.\r\n"},
    {ERROR_INVALID_WINDOW_HANDLE, "Invalid window handle.\r\n"},
    {ERROR_CANNOT_FIND_WND_CLASS, "Cannot find window class.\r\n"},
    {ERROR_CLASS_ALREADY_EXISTS, "Class already exists.\r\n"},
    {ERROR_CANT_RESOLVE_FILENAME, "The name of the file cannot be resolved by the system.\r\n"},
};

const char* findSystemMessage(DWORD code) {
    for (const SystemMessage& message : kSystemMessages) {
        if (message.code == code) return message.text;
    }
    return nullptr;
}

}  // namespace

namespace posix_layer {

DWORD win32ErrorFromErrno(int errnoValue) {
    for (const ErrnoMapping& mapping : kErrnoMappings) {
        if (mapping.errnoValue == errnoValue) return mapping.win32Error;
    }
    return ERROR_GEN_FAILURE;
}

void setLastErrorFromErrno(int errnoValue) { SetLastError(win32ErrorFromErrno(errnoValue)); }

void setLastErrorForPath(int errnoValue, const std::string& nativePath) {
    if (errnoValue != ENOENT) {
        setLastErrorFromErrno(errnoValue);
        return;
    }
    std::string parent = nativePath;
    while (parent.size() > 1 && parent.back() == '/') parent.pop_back();
    const size_t slash = parent.rfind('/');
    if (slash == std::string::npos) {
        SetLastError(ERROR_FILE_NOT_FOUND);  // the parent is the current directory
        return;
    }
    parent.resize(slash == 0 ? 1 : slash);
    struct stat st;
    const bool parentIsDirectory = ::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    SetLastError(parentIsDirectory ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
}

}  // namespace posix_layer

DWORD GetLastError(void) { return t_lastError; }

void SetLastError(DWORD dwErrCode) { t_lastError = dwErrCode; }

DWORD FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId, LPSTR lpBuffer,
                     DWORD nSize, va_list* Arguments) {
    (void)lpSource;
    (void)dwLanguageId;  // one language: every request gets the English text
    (void)Arguments;     // the texts have no inserts the library fills
    if ((dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || lpBuffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const char* text = findSystemMessage(dwMessageId);
    if (text == nullptr) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    const DWORD length = static_cast<DWORD>(std::strlen(text));
    if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        // lpBuffer is really the address of the caller's pointer; nSize is the
        // minimum to allocate.
        const size_t bytes = (length + 1 > nSize ? length + 1 : nSize);
        char* block = static_cast<char*>(LocalAlloc(LMEM_FIXED, bytes));
        if (block == nullptr) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        std::memcpy(block, text, length + 1);
        *reinterpret_cast<char**>(lpBuffer) = block;
        return length;
    }
    if (nSize <= length) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(lpBuffer, text, length + 1);
    return length;
}

HLOCAL LocalAlloc(UINT uFlags, size_t uBytes) {
    void* block =
        (uFlags & LMEM_ZEROINIT) ? std::calloc(1, uBytes ? uBytes : 1) : std::malloc(uBytes ? uBytes : 1);
    if (block == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return block;
}

HLOCAL LocalFree(HLOCAL hMem) {
    std::free(hMem);
    return nullptr;
}
