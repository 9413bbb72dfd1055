#include "tools/bvsfx/InputFile.h"

#include "core/XString.h"
#include "io/FileSystem.h"

InputFile::~InputFile() { close(); }

bool InputFile::open(const std::string& utf8Path) {
    close();
    XString path;
    path.setFromUtf8(utf8Path.c_str());
    m_handle = openForRead(path, nullptr);
    return m_handle != INVALID_HANDLE_VALUE;
}

bool InputFile::readFull(uint8_t* buffer, uint32_t size, uint32_t& got) {
    got = 0;
    if (m_handle == INVALID_HANDLE_VALUE) return false;
    while (got < size) {
        DWORD count = 0;
        if (!ReadFile(m_handle, buffer + got, size - got, &count, nullptr)) return false;
        if (count == 0) break;
        got += count;
    }
    return true;
}

void InputFile::close() {
    closeFileHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
}
