#include "io/OutputFile.h"

#include "io/FileSystem.h"

namespace {

constexpr uint32_t kMaxWriteBytes = 0xFFFFFFFFu;

}  // namespace

OutputFile::OutputFile(HANDLE handle, OutputFileStart start) : m_handle(handle) {
    if (start != OutputFileStart::AppendAtEnd || !hasHandle()) return;
    const uint32_t size = getFileSizeLogged(handle, nullptr);
    m_size = (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) ? 0 : size;
    SetFilePointer(handle, 0, nullptr, FILE_END);
    m_position = m_size;
}

OutputFile::OutputFile(FILE* stream) : m_stream(stream) {}

OutputFile::~OutputFile() {
    if (m_ownsHandle && hasHandle()) CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
}

bool OutputFile::seekToEnd() {
    m_position = m_size;
    if (m_stream != nullptr) return std::fseek(m_stream, 0, SEEK_END) == 0;
    if (!hasHandle()) return false;
    SetFilePointer(m_handle, 0, nullptr, FILE_END);
    return true;
}

bool OutputFile::seekTo(uint32_t position) {
    if (m_stream != nullptr) return std::fseek(m_stream, static_cast<long>(position), SEEK_SET) == 0;
    if (!hasHandle()) return false;
    LONG high = 0;  // the offset is unsigned 32-bit: no negative distances
    SetFilePointer(m_handle, static_cast<LONG>(position), &high, FILE_BEGIN);
    m_position = position;
    return true;
}

uint32_t OutputFile::tell() {
    if (m_stream != nullptr) return static_cast<uint32_t>(std::ftell(m_stream));
    if (!hasHandle()) return 0;
    return m_position;
}

uint32_t OutputFile::writeBytes(const void* data, uint32_t itemSize, uint32_t itemCount) {
    if (data == nullptr || itemSize == 0 || itemCount == 0) return 0;
    if (m_stream != nullptr) return static_cast<uint32_t>(std::fwrite(data, itemSize, itemCount, m_stream));
    if (!hasHandle()) return 0;
    const uint64_t bytes = static_cast<uint64_t>(itemSize) * itemCount;
    if (bytes > kMaxWriteBytes) return 0;
    DWORD written = 0;
    WriteFile(m_handle, data, static_cast<DWORD>(bytes), &written, nullptr);
    m_position += written;
    if (m_position > m_size) m_size = m_position;
    return written;
}
