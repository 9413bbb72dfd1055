// A file's metadata: path, kind, size, times and attribute bits.
#pragma once

#include <cstdint>

#include "core/BrivaneObject.h"
#include "core/StringBuffer.h"
#include "platform/win32.h"

class LogBase;

class FileInfo : public BrivaneObject {
public:
    FileInfo();

    // Chooses loadFileInfoAnsi when the path fits the ANSI code page, else
    // loadFileInfoWide. Null path: false.
    bool loadFileInfo(const char* utf8Path, LogBase* log);
    // Fills every field from the file or directory at the path. All fields are
    // reset first. Entries: "loadFileInfoAnsi failed: no filename"; "...:
    // cannot get attributes" (with the failed open's entries and "File does
    // not exist." when the file is missing) then "filename"; "...: cannot open
    // for reading" with "filename"; "...: cannot get file time" with
    // "filename".
    bool loadFileInfoAnsi(const char* ansiPath, LogBase* log);
    // The same with the wide functions; logs nothing.
    bool loadFileInfoWide(const uint16_t* utf16Path, LogBase* log);

    const char* getPath() const { return m_path.getString(); }
    bool isDirectory() const { return m_isDirectory; }
    // Low 32 bits of the file's size.
    uint32_t getSize() const { return m_size; }
    const FILETIME& getLastWriteTime() const { return m_lastWriteTime; }
    const FILETIME& getCreationTime() const { return m_creationTime; }
    const FILETIME& getLastAccessTime() const { return m_lastAccessTime; }
    uint32_t getAttributes() const { return m_attributes; }

private:
    void reset();
    bool fillFromHandle(HANDLE handle);

    StringBuffer m_path;  // UTF-8
    bool m_isDirectory = false;
    uint32_t m_size = 0;
    FILETIME m_lastWriteTime = {0, 0};
    FILETIME m_creationTime = {0, 0};
    FILETIME m_lastAccessTime = {0, 0};
    uint32_t m_attributes = 0;
};
