// bvsfx extract: recreates the entries below a folder, refusing names that
// would land anywhere else.
//
// Directory times are set last, deepest first: creating a file inside a
// folder changes the folder's last-write time, so a time set when the
// folder is made would not survive its contents.

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "core/XString.h"
#include "io/FileSystem.h"
#include "payload/PayloadFormat.h"
#include "platform/win32.h"
#include "tools/bvsfx/EntryName.h"
#include "tools/bvsfx/ExitCode.h"
#include "tools/bvsfx/InspectCommands.h"
#include "tools/bvsfx/InstallerFile.h"
#include "tools/bvsfx/Messages.h"
#include "tools/bvsfx/PayloadWalker.h"
#include "tools/bvsfx/ProgressBar.h"

namespace fs = std::filesystem;

namespace {

FILETIME toFileTime(uint64_t value) {
    return FILETIME{static_cast<DWORD>(value & 0xFFFFFFFFu), static_cast<DWORD>(value >> 32)};
}

void setTimes(HANDLE handle, uint64_t fileTime) {
    const FILETIME time = toFileTime(fileTime);
    SetFileTime(handle, &time, &time, &time);
}

class Extractor : public PayloadVisitor {
public:
    explicit Extractor(fs::path root) : m_root(std::move(root)) {}

    ~Extractor() override { closeFile(); }

    bool onDirectory(const PayloadReader::EntryRecord& entry) override {
        fs::path path;
        if (!resolve(entry, path, true)) return true;
        std::error_code error;
        fs::create_directories(path, error);
        if (!fs::is_directory(path, error)) {
            outputFailure(entry.name + ": cannot create the folder");
            return true;
        }
        m_directoryTimes.emplace_back(path, entry.fileTime);
        return true;
    }

    bool onFileBegin(const PayloadReader::EntryRecord& entry) override {
        m_path.clear();
        fs::path path;
        if (!resolve(entry, path, false)) return true;
        std::error_code error;
        fs::create_directories(path.parent_path(), error);
        const fs::file_status existing = fs::symlink_status(path, error);
        if (fs::is_directory(existing)) {
            outputFailure(entry.name + ": a folder of that name is in the way");
            return true;
        }
        // An old file (or a link: it is replaced, never followed) goes first,
        // also when it is read-only.
        if (fs::exists(existing) || fs::is_symlink(existing)) fs::remove(path, error);
        XString name;
        name.setFromUtf8(path.string().c_str());
        m_handle = createForWrite(name, nullptr);
        if (m_handle == INVALID_HANDLE_VALUE) {
            outputFailure(entry.name + ": cannot create the file");
            return true;
        }
        m_path = path;
        return true;
    }

    bool onFileData(const uint8_t* data, uint32_t size) override {
        if (m_handle == INVALID_HANDLE_VALUE) return true;
        uint32_t written = 0;
        while (written < size) {
            DWORD count = 0;
            if (!WriteFile(m_handle, data + written, size - written, &count, nullptr) || count == 0) {
                outputFailure(m_path.string() + ": cannot write (disk full?)");
                closeFile();
                return false;
            }
            written += count;
        }
        return true;
    }

    bool onFileEnd(const PayloadReader::EntryRecord& entry, const FileSummary& summary) override {
        (void)summary;
        if (m_handle == INVALID_HANDLE_VALUE) return true;
        setTimes(m_handle, entry.fileTime);
        closeFile();
        // Exactly 0x20 leaves the file as created, as the installer does.
        if (entry.attributes != PayloadFormat::kAttributesArchiveOnly) {
            XString name;
            name.setFromUtf8(m_path.string().c_str());
            setAttributes(name, entry.attributes);
        }
        ++m_filesWritten;
        return true;
    }

    // Directory times, deepest first.
    void finish() {
        std::stable_sort(m_directoryTimes.begin(), m_directoryTimes.end(), [](const auto& a, const auto& b) {
            return a.first.string().size() > b.first.string().size();
        });
        for (const auto& [path, fileTime] : m_directoryTimes) {
            XString name;
            name.setFromUtf8(path.string().c_str());
            HANDLE handle = openForReadWriteBackup(name, nullptr);
            if (handle == INVALID_HANDLE_VALUE) continue;
            setTimes(handle, fileTime);
            closeFileHandle(handle);
        }
    }

    uint32_t unsafeNames() const { return m_unsafeNames; }
    uint32_t outputFailures() const { return m_outputFailures; }
    uint32_t filesWritten() const { return m_filesWritten; }

private:
    // The entry's place below the root; false (reported) when the name is
    // unsafe or the way there passes through a symbolic link.
    bool resolve(const PayloadReader::EntryRecord& entry, fs::path& path, bool isDirectory) {
        std::string relative;
        std::string reason;
        if (!EntryName::toSafeRelativePath(entry.name, relative, reason)) {
            refuse(entry.name, reason);
            return false;
        }
        path = m_root;
        const fs::path parts(relative);
        auto last = std::prev(parts.end());
        for (auto it = parts.begin(); it != parts.end(); ++it) {
            path /= *it;
            std::error_code error;
            const bool link = fs::is_symlink(fs::symlink_status(path, error));
            if (link && (it != last || isDirectory)) {
                refuse(entry.name, "the way there passes through the symbolic link " + path.string());
                return false;
            }
        }
        return true;
    }

    void refuse(const std::string& name, const std::string& reason) {
        Messages::error("skipped \"" + name + "\": " + reason);
        ++m_unsafeNames;
    }

    void outputFailure(const std::string& text) {
        Messages::error(text);
        ++m_outputFailures;
    }

    void closeFile() {
        if (m_handle != INVALID_HANDLE_VALUE) closeFileHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
    }

    fs::path m_root;
    fs::path m_path;
    HANDLE m_handle = INVALID_HANDLE_VALUE;
    std::vector<std::pair<fs::path, uint64_t>> m_directoryTimes;
    uint32_t m_unsafeNames = 0;
    uint32_t m_outputFailures = 0;
    uint32_t m_filesWritten = 0;
};

}  // namespace

int runExtract(const InspectOptions& options) {
    InstallerFile file;
    int code = file.open(options.file);
    if (code == kExitOk) code = file.unlock(options.password, true);
    if (code != kExitOk) return code;

    std::error_code error;
    fs::create_directories(options.directory, error);
    const fs::path root = fs::weakly_canonical(fs::absolute(options.directory, error), error);
    if (error || !fs::is_directory(root)) {
        Messages::error("cannot create the folder " + options.directory);
        return kExitOutput;
    }

    ProgressBar progress("extract", file.fileSize(), ProgressBar::wanted(options.quiet));
    progress.set(file.reader().position());
    Extractor extractor(root);
    PayloadWalker walker(file, true, &progress);
    const bool sound = walker.walk(extractor);
    extractor.finish();
    if (sound) progress.finish();
    for (const std::string& problem : walker.problems()) Messages::error(options.file + ": " + problem);
    Messages::note("extracted " + std::to_string(extractor.filesWritten()) + " files and " +
                       std::to_string(walker.directories()) + " folders into " + root.string(),
                   options.quiet);
    if (extractor.outputFailures() != 0) return kExitOutput;
    if (!walker.problems().empty()) return kExitDamaged;
    if (extractor.unsafeNames() != 0) return kExitUnsafeName;
    return kExitOk;
}
