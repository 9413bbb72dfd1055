#pragma once
// InstallerFile: an installer opened for reading by list, info, test and
// extract: the file, its payload reader with the start of the payload read,
// and the password step. Failures are reported on standard error and turned
// into the exit code the command returns.

#include <cstdint>
#include <memory>
#include <string>

#include "payload/PayloadReader.h"
#include "payload/SignatureArea.h"
#include "tools/bvsfx/Password.h"

class FileDataSource;

class InstallerFile {
public:
    InstallerFile();
    ~InstallerFile();

    InstallerFile(const InstallerFile&) = delete;
    InstallerFile& operator=(const InstallerFile&) = delete;

    // Opens the file and reads marker, header and settings. Returns kExitOk
    // or the exit code of the failure (already reported).
    int open(const std::string& path);

    // For an encrypted payload: checks the password from the sources. With
    // required false a missing password is no failure (names then stay
    // unknown). With required true and no source, the password is asked
    // for on the terminal (without echo) when standard input is one.
    // Returns kExitOk or the exit code (already reported).
    int unlock(const Password::Sources& sources, bool required);

    PayloadReader& reader() { return *m_reader; }
    bool namesReadable() const { return m_namesReadable; }
    uint64_t fileSize() const { return m_fileSize; }
    const std::string& path() const { return m_path; }
    // "Windows i386 (GUI)" ... of the bytes before the marker.
    std::string stubDescription() const { return m_stubDescription; }
    // The signature (certificate table) a signed Windows installer carries;
    // offset 0 when it has none.
    SignatureArea::CertificateTable signature() const { return m_signature; }
    // Whether the bytes before the marker are a Windows program.
    bool windowsStub() const { return m_windowsStub; }

private:
    std::string m_path;
    std::unique_ptr<FileDataSource> m_source;
    std::unique_ptr<PayloadReader> m_reader;
    uint64_t m_fileSize = 0;
    bool m_namesReadable = true;
    std::string m_stubDescription;
    SignatureArea::CertificateTable m_signature;
    bool m_windowsStub = false;
};
