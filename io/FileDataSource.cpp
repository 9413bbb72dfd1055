#include "io/FileDataSource.h"

#include <cstring>
#include <vector>

#include "core/ByteOrder.h"
#include "core/XString.h"
#include "io/FileSystem.h"

namespace {

constexpr uint32_t kWordBytes = 4;

bool hasHandleValue(HANDLE handle) { return handle != INVALID_HANDLE_VALUE && handle != nullptr; }

// The handle's file position, or false when it cannot be had.
bool filePosition(HANDLE handle, uint64_t& position) {
    LONG high = 0;
    SetLastError(NO_ERROR);
    const DWORD low = SetFilePointer(handle, 0, &high, FILE_CURRENT);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return false;
    position = (static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) | low;
    return true;
}

}  // namespace

// ReadFile's count; a failed read counts the bytes it did deliver.
uint32_t FileDataSource::readSome(uint8_t* into, uint32_t maxBytes) {
    if (m_endOffset != 0) {
        uint64_t position = 0;
        if (!filePosition(m_handle, position) || position >= m_endOffset) return 0;
        if (m_endOffset - position < maxBytes) maxBytes = static_cast<uint32_t>(m_endOffset - position);
    }
    DWORD got = 0;
    ReadFile(m_handle, into, maxBytes, &got, nullptr);
    return got;
}

FileDataSource::~FileDataSource() { releaseHandle(); }

void FileDataSource::releaseHandle() {
    if (m_ownsHandle && hasHandleValue(m_handle)) CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
    m_ownsHandle = false;
}

FileDataSource* FileDataSource::openDataSourceFile(const char* utf8Path, LogBase* log) {
    XString path;
    path.setFromUtf8(utf8Path);
    HANDLE handle = openForRead(path, log);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    auto* source = new FileDataSource();
    source->attachOwnedHandle(handle);
    return source;
}

void FileDataSource::attachHandle(HANDLE handle) {
    if (handle != m_handle) releaseHandle();
    m_handle = handle;
    m_ownsHandle = false;
}

void FileDataSource::attachOwnedHandle(HANDLE handle) {
    if (handle != m_handle) releaseHandle();
    m_handle = handle;
    m_ownsHandle = true;
}

bool FileDataSource::getFileSize(uint32_t& low, uint32_t& high) {
    low = 0;
    high = 0;
    if (!hasHandleValue(m_handle)) return false;
    DWORD sizeHigh = 0;
    SetLastError(NO_ERROR);  // a success need not reset a stale error
    const DWORD sizeLow = GetFileSize(m_handle, &sizeHigh);
    // With the high half asked for, a low half of INVALID_FILE_SIZE is a real
    // size unless the system reports an error.
    if (sizeLow == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
    low = sizeLow;
    high = sizeHigh;
    return true;
}

bool FileDataSource::readBytes(void* buffer, uint32_t maxBytes, uint32_t* bytesRead) {
    if (bytesRead != nullptr) *bytesRead = 0;
    if (maxBytes == 0 || buffer == nullptr) return false;
    if (!hasHandleValue(m_handle)) return true;
    const uint32_t got = readSome(static_cast<uint8_t*>(buffer), maxBytes);
    if (got == 0) {
        releaseHandle();  // end of data
        return true;
    }
    noteDelivered(got);
    if (bytesRead != nullptr) *bytesRead = got;
    return true;
}

bool FileDataSource::endOfData() { return !hasHandleValue(m_handle); }

// Format notes: the candidate is tested at every byte offset. When fewer than
// 4 bytes remain in the block behind it, those 0 to 3 bytes move to the start
// of the block and the next read lands behind them, so a key that straddles
// two reads is still seen whole.
bool FileDataSource::findUint32(uint32_t key, uint32_t* bytesSkipped) {
    if (bytesSkipped != nullptr) *bytesSkipped = 0;
    if (!hasHandleValue(m_handle)) return false;

    std::vector<uint8_t> block(kSearchBlockBytes);
    uint32_t valid = readSome(block.data(), kSearchBlockBytes);
    if (valid < kWordBytes) return false;
    uint64_t bytesReadSoFar = valid;
    uint64_t candidateOffset = 0;  // relative to where the search started
    uint32_t candidateInBlock = 0;

    for (;;) {
        while (valid >= kWordBytes) {
            if (loadLittleEndian32(block.data() + candidateInBlock) == key) {
                // Back from the end of what was read to just after the match.
                const int64_t move =
                    static_cast<int64_t>(candidateOffset + kWordBytes) - static_cast<int64_t>(bytesReadSoFar);
                LONG moveHigh = static_cast<LONG>(move >> 32);
                SetLastError(NO_ERROR);
                const DWORD moved =
                    SetFilePointer(m_handle, static_cast<LONG>(move & 0xFFFFFFFF), &moveHigh, FILE_CURRENT);
                if (moved == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return false;
                if (bytesSkipped != nullptr) *bytesSkipped = static_cast<uint32_t>(candidateOffset);
                return true;
            }
            ++candidateOffset;
            ++candidateInBlock;
            --valid;
        }
        std::memmove(block.data(), block.data() + candidateInBlock, valid);
        candidateInBlock = 0;
        while (valid < kWordBytes) {
            const uint32_t got = readSome(block.data() + valid, kSearchBlockBytes - valid);
            if (got == 0) return false;
            bytesReadSoFar += got;
            valid += got;
        }
    }
}
