#include "tools/bvsfx/InstallerFile.h"

#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "core/SecretWipe.h"
#include "io/FileDataSource.h"
#include "tools/bvsfx/ExitCode.h"
#include "tools/bvsfx/Messages.h"
#include "tools/bvsfx/StubImage.h"
#include "tools/bvsfx/Terminal.h"
#include "tools/bvsfx/TextFormat.h"
#include "tools/bvsfx/Utf8Path.h"

namespace fs = std::filesystem;

namespace {

// Enough of the stub to read its PE or ELF header.
constexpr size_t kStubHeadBytes = 4096;

std::vector<uint8_t> stubHead(const std::string& path, uint64_t stubBytes) {
    std::ifstream in(utf8Path(path), std::ios::binary);
    std::vector<uint8_t> head(stubBytes < kStubHeadBytes ? stubBytes : kStubHeadBytes);
    in.read(reinterpret_cast<char*>(head.data()), std::streamsize(head.size()));
    head.resize(static_cast<size_t>(in.gcount()));
    return head;
}

// Why a path that is not a regular file cannot be opened as an installer.
std::string whyNotAFile(const std::string& utf8) {
    const fs::path path = utf8Path(utf8);
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (fs::is_directory(status)) return "is a folder, not an installer";
    if (fs::exists(status)) return "is not a regular file (a device, pipe or socket), not an installer";
    if (fs::is_symlink(fs::symlink_status(path, error))) return "is a link that points nowhere";
    if (error && error != std::errc::no_such_file_or_directory)
        return "cannot be reached: " + error.message();
    return "no such file";
}

}  // namespace

InstallerFile::InstallerFile() = default;
InstallerFile::~InstallerFile() = default;

int InstallerFile::open(const std::string& path) {
    m_path = path;
    std::error_code error;
    if (!fs::is_regular_file(utf8Path(path), error)) {
        Messages::error(TextFormat::displayName(path) + ": " + whyNotAFile(path));
        return kExitInput;
    }
    m_fileSize = fs::file_size(utf8Path(path), error);
    const fs::path full = fs::absolute(utf8Path(path), error);
    m_source.reset(FileDataSource::openDataSourceFile(full.string().c_str(), nullptr));
    if (!m_source) {
        Messages::error(path + ": cannot be read");
        return kExitInput;
    }
    // As the installer does: a payload counts only before the signature.
    m_signature = SignatureArea::findInFile(full.string().c_str());
    m_source->setEndOffset(m_signature.offset);
    m_reader = std::make_unique<PayloadReader>(*m_source);
    switch (m_reader->open()) {
        case PayloadReader::OpenResult::Ok: break;
        case PayloadReader::OpenResult::NoMarker:
            Messages::error(path + ": no payload (the marker is missing)");
            return kExitNotPayload;
        case PayloadReader::OpenResult::BadHeader:
            Messages::error(path + ": the payload header is cut short");
            return kExitNotPayload;
        case PayloadReader::OpenResult::BadSettings:
            Messages::error(path + ": the settings table is cut short");
            return kExitNotPayload;
    }
    const std::vector<uint8_t> head = stubHead(path, m_reader->markerOffset());
    m_stubDescription = StubImage::describe(head.data(), head.size());
    m_windowsStub = StubImage::isWindows(StubImage::detectKind(head.data(), head.size()));
    return kExitOk;
}

int InstallerFile::unlock(const Password::Sources& sources, bool required) {
    if (!m_reader->isEncrypted()) return kExitOk;
    std::string password;
    std::string origin;
    Password::Result found = Password::resolve(sources, password, origin);
    const bool canAsk = Terminal::stdinIsTerminal() && Terminal::stderrIsTerminal();
    if (found == Password::Result::None && required && canAsk) {
        found = Terminal::askSecret("Password for " + m_path + ": ", password) ? Password::Result::Found
                                                                               : Password::Result::Empty;
        origin = "the terminal";
        if (found == Password::Result::Found && password.empty()) found = Password::Result::Empty;
    }
    switch (found) {
        case Password::Result::None:
            m_namesReadable = false;
            if (!required) {
                if (m_reader->skipPasswordCheck()) return kExitOk;
                Messages::error(m_path + ": the password verifier is cut short");
                return kExitDamaged;
            }
            Messages::error(m_path + ": the payload is encrypted; give --password, --password-file or " +
                            Password::kEnvironmentVariable);
            return kExitPassword;
        case Password::Result::FileUnreadable:
            Messages::error("cannot read the password from " + origin);
            return kExitInput;
        case Password::Result::Empty:
            Messages::error("the password from " + origin + " is empty");
            return kExitPassword;
        case Password::Result::Found: break;
    }
    const bool right = m_reader->checkPassword(password.c_str()) == PayloadReader::PasswordResult::Ok;
    wipeSecretBytes(password.data(), password.size());
    if (!right) {
        Messages::error(m_path + ": incorrect password (from " + origin + ")");
        return kExitPassword;
    }
    if (!m_reader->settingsAuthentic()) {
        Messages::error(m_path +
                        ": the header or the settings differ from their authentication code: damaged");
        return kExitDamaged;
    }
    return kExitOk;
}
