// A DataSource reading a Win32 file handle from its current position.
#pragma once

#include <cstdint>

#include "io/DataSource.h"
#include "platform/win32.h"

class LogBase;

class FileDataSource : public DataSource {
public:
    // Block size of the marker search: the file is scanned in reads of at most
    // this many bytes, the unmatched tail carried over to the next block.
    static constexpr uint32_t kSearchBlockBytes = 20000;

    FileDataSource() = default;
    // Closes the handle when the source owns it.
    ~FileDataSource() override;

    // Opens a UTF-8 path for reading (openForRead, with its retries and log
    // entries). Returns a new source owning the handle, or null; the caller
    // owns the returned object.
    static FileDataSource* openDataSourceFile(const char* utf8Path, LogBase* log);

    // Takes a handle the caller keeps ownership of, or one the source is to
    // close. An owned handle that differs from the new one is closed first.
    void attachHandle(HANDLE handle);
    void attachOwnedHandle(HANDLE handle);

    // The file's size as two 32-bit halves; both 0 and false when there is no
    // handle or the size query fails.
    bool getFileSize(uint32_t& low, uint32_t& high);

    // ReadFile of up to maxBytes. maxBytes 0 or a null buffer: false. No
    // handle: true with 0 bytes. A read that yields 0 bytes is the end of the
    // data: an owned handle is closed, the source forgets the handle and
    // returns true with 0 bytes; from then on endOfData is true.
    bool readBytes(void* buffer, uint32_t maxBytes, uint32_t* bytesRead) override;
    // True exactly when there is no handle.
    bool endOfData() override;
    // Scans from the current file position in 20,000-byte blocks; on success
    // the file position is just after the matching 4 bytes. Does not count as
    // delivered data and does not tell the monitor.
    bool findUint32(uint32_t key, uint32_t* bytesSkipped) override;

    // Makes the given file offset the end of the data: reads and the search
    // deliver nothing from there on, as at the end of the file. 0: the file's
    // own end (the default).
    void setEndOffset(uint64_t offset) { m_endOffset = offset; }

    HANDLE getHandle() const { return m_handle; }
    bool ownsHandle() const { return m_ownsHandle; }

private:
    void releaseHandle();
    // ReadFile of at most maxBytes, cut at the end offset; returns the count.
    uint32_t readSome(uint8_t* into, uint32_t maxBytes);

    bool m_ownsHandle = false;
    HANDLE m_handle = INVALID_HANDLE_VALUE;
    uint64_t m_endOffset = 0;
};
