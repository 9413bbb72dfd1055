// bvsfx extract: recreates the entries below a folder, refusing names that
// would land anywhere else.
//
// Each file is written to a new temporary file in its folder and renamed
// over its name only when all its data is written, so a failure (a full
// disk, data cut short, an interruption) leaves an old file of that name as
// it was, and no half file.
//
// Unix modes and symbolic links (the records behind the end record, read by
// the walk) are applied once every entry is written, where the system has
// them: files get their permission bits, links are created as links,
// directories get theirs last (innermost first); the umask applies,
// setuid, setgid and sticky never, and no link is followed on the way. A
// link whose target leaves the folder (an absolute target, or one that
// climbs above it with "..") is refused: what it would lead to is not the
// installer's. Elsewhere (Windows) the links are skipped with a message.
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
#include "tools/bvsfx/TemporaryFiles.h"
#include "tools/bvsfx/TextFormat.h"
#include "tools/bvsfx/Utf8Path.h"

namespace fs = std::filesystem;

namespace {

FILETIME toFileTime(uint64_t value) {
    return FILETIME{static_cast<DWORD>(value & 0xFFFFFFFFu), static_cast<DWORD>(value >> 32)};
}

void setTimes(HANDLE handle, uint64_t fileTime) {
    const FILETIME time = toFileTime(fileTime);
    SetFileTime(handle, &time, &time, &time);
}

// Creates a file that does not exist yet (CREATE_NEW: never an existing
// file, never through a link in its place), choosing the ANSI or the wide
// entry point as the library's open functions do.
HANDLE createNewFile(const fs::path& path) {
    XString name;
    name.setFromUtf8(path.string().c_str());
    if (name.isAnsiRepresentable()) {
        return CreateFileA(name.getAnsi(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    }
    return CreateFileW(reinterpret_cast<LPCWSTR>(name.getUtf16()), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string shown(const fs::path& path) { return TextFormat::displayName(path.string()); }

class Extractor : public PayloadVisitor {
public:
    explicit Extractor(fs::path root) : m_root(std::move(root)) {}

    ~Extractor() override {
        if (m_handle != INVALID_HANDLE_VALUE) discardFile();
    }

    bool onDirectory(const PayloadReader::EntryRecord& entry) override {
        m_entries.push_back(Written{std::string(), true});
        fs::path path;
        if (!resolve(entry, path, true)) return true;
        std::error_code error;
        fs::create_directories(path, error);
        std::error_code ignored;
        if (!fs::is_directory(path, ignored)) {
            outputFailure(shown(entry.name) + ": cannot create the folder" +
                          (error ? " (" + error.message() + ")" : std::string()));
            return true;
        }
        m_directoryTimes.emplace_back(path, entry.fileTime);
        m_entries.back().relative = relativeTo(path);
        return true;
    }

    bool onFileBegin(const PayloadReader::EntryRecord& entry) override {
        m_entries.push_back(Written{std::string(), false});
        m_path.clear();
        fs::path path;
        if (!resolve(entry, path, false)) return true;
        std::error_code error;
        fs::create_directories(path.parent_path(), error);
        const fs::file_status existing = fs::symlink_status(path, error);
        if (fs::is_directory(existing)) {
            outputFailure(shown(entry.name) + ": a folder of that name is in the way");
            return true;
        }
        DWORD createError = 0;
        const TemporaryFiles::HeldInterrupts held;  // until the new file is registered
        for (int attempt = 0; attempt < TemporaryFiles::kNameAttempts; ++attempt) {
            m_partial = utf8Path(TemporaryFiles::partialName(path.string(), attempt));
            m_handle = createNewFile(m_partial);
            if (m_handle != INVALID_HANDLE_VALUE) break;
            createError = GetLastError();
            if (createError != ERROR_FILE_EXISTS && createError != ERROR_ALREADY_EXISTS) break;
        }
        if (m_handle == INVALID_HANDLE_VALUE) {
            outputFailure(shown(entry.name) + ": cannot create " + shown(m_partial) + ": " +
                          systemText(createError));
            return true;
        }
        m_slot = TemporaryFiles::add(m_partial.string());
        m_path = path;
        return true;
    }

    bool onFileData(const uint8_t* data, uint32_t size) override {
        if (m_handle == INVALID_HANDLE_VALUE) return true;
        uint32_t written = 0;
        while (written < size) {
            DWORD count = 0;
            if (!WriteFile(m_handle, data + written, size - written, &count, nullptr) || count == 0) {
                const DWORD writeError = GetLastError();
                outputFailure(shown(m_path) + ": cannot write (" + systemText(writeError) +
                              "); an old file of that name is left as it was");
                discardFile();
                return false;
            }
            written += count;
        }
        return true;
    }

    bool onFileEnd(const PayloadReader::EntryRecord& entry, const FileSummary& summary) override {
        if (m_handle == INVALID_HANDLE_VALUE) return true;
        if (!summary.complete) {
            // The payload ends inside the file's data (reported by the walk).
            Messages::error(shown(m_path) +
                            ": not written, its data is cut short; an old file of that name is "
                            "left as it was");
            discardFile();
            return true;
        }
        setTimes(m_handle, entry.fileTime);
        closeFile();
        if (!moveIntoPlace()) return true;  // reported; the walk goes on
        // Exactly 0x20 leaves the file as created, as the installer does.
        if (entry.attributes != PayloadFormat::kAttributesArchiveOnly) {
            XString name;
            name.setFromUtf8(m_path.string().c_str());
            setAttributes(name, entry.attributes);
        }
        ++m_filesWritten;
        m_entries.back().relative = relativeTo(m_path);
        return true;
    }

    // The modes and links of the walk's Unix records, when it found sound
    // ones: files, then links, then directories innermost first (a folder
    // without write permission is closed only when nothing more goes in).
    void applyUnixRecords(const PayloadWalker& walker) {
        if (!walker.hasUnixTrailer()) return;
        const UnixTrailer& trailer = walker.unixTrailer();
        if (!keepsUnixModes()) {
            for (const UnixTrailer::Link& link : trailer.links()) {
                Messages::note("skipped the link " + TextFormat::displayName(link.name) +
                                   ": links are not created on this system",
                               false);
            }
            return;
        }
        const std::string root = m_root.string();
        for (size_t i = 0; i < m_entries.size(); ++i) {
            if (!m_entries[i].isDirectory) applyMode(m_entries[i].relative, trailer.modeOf(i));
        }
        for (const UnixTrailer::Link& link : trailer.links()) createLink(link);
        for (size_t i = m_entries.size(); i-- > 0;) {
            if (m_entries[i].isDirectory) applyMode(m_entries[i].relative, trailer.modeOf(i));
        }
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
    uint32_t linksWritten() const { return m_linksWritten; }

private:
    // A directory or file entry, in payload order; relative is its path
    // below the root once written ("" when it was not).
    struct Written {
        std::string relative;
        bool isDirectory;
    };

    std::string relativeTo(const fs::path& path) const {
        return path.lexically_relative(m_root).generic_string();
    }

    void applyMode(const std::string& relative, uint32_t mode) {
        if (relative.empty() || mode == UnixTrailer::kNoMode) return;
        if (setModeBelow(m_root.string().c_str(), relative.c_str(), mode)) return;
        const DWORD error = GetLastError();
        outputFailure(TextFormat::displayName(relative) + ": cannot set its mode: " + systemText(error));
    }

    void createLink(const UnixTrailer::Link& link) {
        std::string relative;
        std::string reason;
        if (!EntryName::toSafeRelativePath(link.name, relative, reason)) {
            refuse(link.name, reason);
            return;
        }
        if (EntryName::linkLeavesFolder(relative, link.target)) {
            refuse(link.name,
                   "the link leads out of the folder (to " + TextFormat::displayName(link.target) + ")");
            return;
        }
        PayloadReader::EntryRecord asEntry;
        asEntry.name = link.name;
        fs::path path;
        if (!resolve(asEntry, path, false)) return;
        std::error_code error;
        fs::create_directories(path.parent_path(), error);
        if (!createLinkBelow(m_root.string().c_str(), relative.c_str(), link.target.c_str())) {
            const DWORD createError = GetLastError();
            outputFailure(TextFormat::displayName(link.name) +
                          ": cannot create the link: " + systemText(createError));
            return;
        }
        ++m_linksWritten;
    }

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
        const fs::path parts = utf8Path(relative);
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
        const std::string text = TextFormat::displayName(name);
        const bool quoted = !text.empty() && text.front() == '"';
        Messages::error("skipped " + (quoted ? text : "\"" + text + "\"") + ": " + reason);
        ++m_unsafeNames;
    }

    static std::string systemText(DWORD error) {
        char text[512] = {0};
        const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                            nullptr, error, 0, text, sizeof(text), nullptr);
        std::string result(text, length);
        while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == ' ' ||
                                   result.back() == '.')) {
            result.pop_back();
        }
        return result.empty() ? "error " + std::to_string(error) : result;
    }

    // Renames the written temporary file over the entry's name. A link in
    // the way is replaced, never followed; a read-only old file too. False
    // (reported, the temporary file removed) when that fails.
    bool moveIntoPlace() {
        std::error_code error;
        fs::rename(m_partial, m_path, error);
        if (error && fs::exists(fs::symlink_status(m_path))) {
            // Windows does not rename over a read-only file.
            std::error_code ignored;
            fs::permissions(m_path, fs::perms::owner_write,
                            fs::perm_options::add | fs::perm_options::nofollow, ignored);
            error.clear();
            fs::rename(m_partial, m_path, error);
        }
        if (error) {
            outputFailure(shown(m_path) + ": cannot replace it: " + error.message());
            std::error_code ignored;
            fs::remove(m_partial, ignored);
            TemporaryFiles::forget(m_slot);
            m_slot = -1;
            return false;
        }
        TemporaryFiles::forget(m_slot);
        m_slot = -1;
        return true;
    }

    void discardFile() {
        closeFile();
        std::error_code ignored;
        fs::remove(m_partial, ignored);
        TemporaryFiles::forget(m_slot);
        m_slot = -1;
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
    fs::path m_partial;
    int m_slot = -1;
    HANDLE m_handle = INVALID_HANDLE_VALUE;
    std::vector<std::pair<fs::path, uint64_t>> m_directoryTimes;
    uint32_t m_unsafeNames = 0;
    uint32_t m_outputFailures = 0;
    uint32_t m_filesWritten = 0;
    uint32_t m_linksWritten = 0;
    std::vector<Written> m_entries;
};

}  // namespace

int runExtract(const InspectOptions& options) {
    TemporaryFiles::removeOnInterrupt();
    InstallerFile file;
    int code = file.open(options.file);
    if (code == kExitOk) code = file.unlock(options.password, true);
    if (code != kExitOk) return code;

    std::error_code error;
    fs::create_directories(utf8Path(options.directory), error);
    std::error_code placeError;
    const fs::path root =
        fs::weakly_canonical(fs::absolute(utf8Path(options.directory), placeError), placeError);
    if (placeError || !fs::is_directory(root)) {
        if (!error) error = placeError;
        Messages::error("cannot create the folder " + TextFormat::displayName(options.directory) +
                        (error ? ": " + error.message() : std::string()));
        return kExitOutput;
    }

    ProgressBar progress("extract", file.fileSize(), ProgressBar::wanted(options.quiet));
    progress.set(file.reader().position());
    Extractor extractor(root);
    PayloadWalker walker(file, true, &progress);
    const bool sound = walker.walk(extractor);
    extractor.applyUnixRecords(walker);
    extractor.finish();
    if (sound) progress.finish();
    for (const std::string& problem : walker.problems()) Messages::error(options.file + ": " + problem);
    const std::string links = extractor.linksWritten() == 0
                                  ? std::string()
                                  : ", " + TextFormat::count(extractor.linksWritten(), "link", "links");
    Messages::note("extracted " + TextFormat::count(extractor.filesWritten(), "file", "files") + links +
                       " and " + TextFormat::count(walker.directories(), "folder", "folders") + " into " +
                       TextFormat::displayName(root.string()),
                   options.quiet);
    if (extractor.outputFailures() != 0) return kExitOutput;
    if (!walker.problems().empty()) return kExitDamaged;
    if (extractor.unsafeNames() != 0) return kExitUnsafeName;
    return kExitOk;
}
