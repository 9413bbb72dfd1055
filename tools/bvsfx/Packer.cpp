#include "tools/bvsfx/Packer.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <system_error>

#include "core/ZipCRC.h"
#include "core/StringBuffer.h"
#include "core/SecretWipe.h"
#include "payload/CheckRecord.h"
#include "payload/PayloadFormat.h"
#include "payload/PayloadKey.h"
#include "payload/PayloadWriter.h"
#include "payload/SignatureArea.h"
#include "payload/UnixRecord.h"
#include "tools/bvsfx/EntryName.h"
#include "tools/bvsfx/ExitCode.h"
#include "tools/bvsfx/InputFile.h"
#include "tools/bvsfx/Messages.h"
#include "tools/bvsfx/ProgressBar.h"
#include "tools/bvsfx/StubBranding.h"
#include "tools/bvsfx/StubImage.h"
#include "tools/bvsfx/StubLocator.h"
#include "tools/bvsfx/TemporaryFiles.h"
#include "tools/bvsfx/TextFormat.h"
#include "tools/bvsfx/Utf8Path.h"
#include "core/ByteOrder.h"

namespace fs = std::filesystem;

namespace {

// The installer replaces "%temp%" (any letter case) in its destination
// with the temporary-files folder, then makes the folder in the 800-byte
// work area of its directory functions.
constexpr const char* kTempPlaceholder = "%temp%";
constexpr uint32_t kDirWorkAreaBytes = 800;
// SetCurrentDirectory takes at most MAX_PATH - 2 characters (260 - 2) when
// no trailing separator is given: the Windows installer cannot enter a
// longer destination.
constexpr size_t kWindowsCurrentDirectoryChars = 258;
// stdio buffer of the output; chunks arrive in pieces of up to 2 MB.
constexpr size_t kOutputBufferBytes = 1 << 20;
constexpr uint32_t kMaxSettingBytes = 0xFFFF;
// Smallest read buffer of a file, so that a file longer than the walk saw
// grows its buffer in a few steps.
constexpr uint64_t kFirstReadBytes = 64 * 1024;

fs::path absoluteOrSame(const std::string& path) {
    std::error_code error;
    fs::path full = fs::absolute(utf8Path(path), error);
    return error ? utf8Path(path) : full.lexically_normal();
}

bool isAscii(const std::string& text) {
    for (char c : text) {
        if (static_cast<uint8_t>(c) >= 0x80) return false;
    }
    return true;
}

std::string normalisedSetupName(std::string name) {
    for (char& c : name) {
        if (c == '\\') c = '/';
    }
    while (name.rfind("./", 0) == 0) name.erase(0, 2);
    return name;
}

std::string lowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// The destination as the installer settles it, with "%temp%" left out (its
// length is only known on the installer's machine): separators folded to
// '/', doubled ones merged. placeholders counts the "%temp%" removed.
std::string settledDestination(const std::string& dir, int& placeholders) {
    std::string out;
    placeholders = 0;
    const std::string lower = lowerAscii(dir);
    const size_t placeholderBytes = std::strlen(kTempPlaceholder);
    for (size_t i = 0; i < dir.size();) {
        if (lower.compare(i, placeholderBytes, kTempPlaceholder) == 0) {
            ++placeholders;
            i += placeholderBytes;
            continue;
        }
        const char c = dir[i] == '\\' ? '/' : dir[i];
        if (!(c == '/' && !out.empty() && out.back() == '/')) out += c;
        ++i;
    }
    return out;
}

// The place a path names, for comparing outputs with inputs: absolute,
// with links and "." and ".." resolved as far as the path exists.
fs::path realPlace(const std::string& path) {
    std::error_code error;
    fs::path full = fs::weakly_canonical(fs::absolute(utf8Path(path), error), error);
    return error ? absoluteOrSame(path) : full;
}

bool samePlace(const fs::path& a, const fs::path& b) {
    std::error_code error;
    if (fs::equivalent(a, b, error)) return true;
    return a == b;
}

bool isInside(const fs::path& path, const fs::path& folder) {
    const fs::path relative = path.lexically_relative(folder);
    return !relative.empty() && *relative.begin() != ".." && relative != ".";
}

std::string systemReason(int errorNumber) { return std::strerror(errorNumber); }

// Unix modes and links are read where the system has them; a pack on
// Windows writes no Unix records and follows links.
#ifdef _WIN32
constexpr bool kHostHasUnixModes = false;
#else
constexpr bool kHostHasUnixModes = true;
#endif

}  // namespace

Packer::Packer(const PackOptions& options)
    : m_options(options),
      m_tree(options.keepRoot, options.dereference || !kHostHasUnixModes, absoluteOrSame(options.output)) {}

Packer::~Packer() {
    // The workers' ciphers wipe their key schedules; the key and the
    // password kept here go too.
    m_pipeline.reset();
    wipeSecretBytes(m_key.getData(), m_key.getSize());
    wipeSecretBytes(m_password.data(), m_password.size());
}

int Packer::run() {
    TemporaryFiles::removeOnInterrupt();
    int code = resolvePassword();
    if (code == kExitOk) code = checkSettings();
    if (code == kExitOk) code = loadStub();
    if (code == kExitOk) code = checkDestinationFolder();
    if (code == kExitOk) code = checkOutputPlace();
    if (code == kExitOk) code = gatherInputs();
    // Names refused by the walk are reported with every other name problem.
    if (code == kExitOk || code == kExitLimits) {
        const int namesCode = checkNames();
        if (code == kExitOk) code = namesCode;
    }
    if (code == kExitOk) code = checkLinks();
    if (code != kExitOk) return code;
    checkSetupProgram();
    if (m_options.strict && Messages::warningCount() != 0) {
        Messages::error("--strict: " + TextFormat::count(Messages::warningCount(), "warning", "warnings") +
                        ", so nothing was written");
        return kExitLimits;
    }
    return writeInstaller();
}

int Packer::resolvePassword() {
    std::string origin;
    switch (Password::resolve(m_options.password, m_password, origin)) {
        case Password::Result::None:
            if (m_options.classicEncryption || m_options.kdfIterationsGiven) {
                Messages::error(
                    std::string(m_options.classicEncryption ? "--classic-encryption" : "--kdf-iterations") +
                    " without a password: the installer would not be encrypted (give --password, "
                    "--password-file or " +
                    Password::kEnvironmentVariable + ")");
                return kExitUsage;
            }
            if (m_options.keyBitsGiven) {
                Messages::error(
                    "--key-bits without a password: the installer would not be encrypted "
                    "(give --password, --password-file or " +
                    std::string(Password::kEnvironmentVariable) + ", or leave out --key-bits)");
                return kExitUsage;
            }
            return kExitOk;
        case Password::Result::FileUnreadable:
            Messages::error("cannot read the password from " + origin);
            return kExitInput;
        case Password::Result::Empty:
            Messages::error("the password from " + origin + " is empty");
            return kExitUsage;
        case Password::Result::Found: break;
    }
    m_encrypted = true;
    if (m_options.classicEncryption) {
        Messages::warning(
            "--classic-encryption is weak: its key is an unsalted MD5 of the password (millions of "
            "guesses a second), the same password gives the same verifier everywhere, and nothing "
            "authenticates the settings or the data");
    }
    if (origin == Password::kEnvironmentVariable) {
        Messages::note(std::string("encrypting with the password in ") + Password::kEnvironmentVariable,
                       m_options.quiet);
    }
    if (m_password.size() > Password::kMaxInstallerPasswordBytes) {
        Messages::error("the password is " + std::to_string(m_password.size()) +
                        " bytes long; the installer's password field takes at most " +
                        std::to_string(Password::kMaxInstallerPasswordBytes));
        return kExitLimits;
    }
    return kExitOk;
}

int Packer::checkSettings() {
    const bool silent = settingIsTrue(m_options, "noInterface");
    const std::string* dir = findSetting(m_options, "unzipDir");
    const bool hasDir = dir != nullptr && !dir->empty();
    if (silent && m_encrypted) {
        Messages::error(
            "--silent with a password: a silent installer cannot ask for the password, "
            "so it would extract nothing");
        return kExitUsage;
    }
    if (silent && !hasDir && !settingIsTrue(m_options, "unzipToTemp")) {
        Messages::error(
            "--silent needs --dir or --temp: without a folder to extract to, the installer "
            "shows its dialog anyway");
        return kExitUsage;
    }
    if (settingIsTrue(m_options, "cleanupAfterSetup") && !settingIsTrue(m_options, "waitForSetup")) {
        Messages::error(
            "--cleanup needs --wait: the installer can remove its folder only once the setup "
            "program has ended, and without --wait it does not learn when that is");
        return kExitUsage;
    }
    for (const auto& setting : m_options.settings) {
        if (!isInstallerSetting(setting.first)) {
            std::string hint;
            for (const char* known : kInstallerSettings) {
                if (lowerAscii(setting.first) == lowerAscii(known))
                    hint = std::string(" (did you mean ") + known + "?)";
            }
            Messages::warning("setting " + TextFormat::displayName(setting.first) +
                              ": the installer reads no setting of that name (names are case-sensitive)" +
                              hint);
        } else if (isFlagSetting(setting.first)) {
            const std::string value = lowerAscii(setting.second);
            if (value != "true" && value != "false") {
                Messages::warning("setting " + setting.first + "=" + TextFormat::displayName(setting.second) +
                                  ": the installer takes only \"true\" (in any letter case) for on, so this "
                                  "value means off");
            }
        }
    }
    if (m_options.settings.size() > PayloadFormat::kMaxSettingsPairs) {
        Messages::error(std::to_string(m_options.settings.size()) +
                        " settings; the installer reads at most " +
                        std::to_string(PayloadFormat::kMaxSettingsPairs));
        return kExitLimits;
    }
    for (const auto& setting : m_options.settings) {
        if (setting.first.size() > kMaxSettingBytes || setting.second.size() > kMaxSettingBytes) {
            Messages::error("setting " + setting.first.substr(0, 40) +
                            ": names and values are limited to 65535 bytes");
            return kExitLimits;
        }
    }
    return kExitOk;
}

int Packer::loadStub() {
    std::vector<std::string> tried;
    if (!StubLocator::locate(m_options.stub, m_stubPath, tried)) {
        std::string places;
        for (const std::string& place : tried) places += "\n  " + place;
        Messages::error("stub " + m_options.stub + " not found; looked at:" + places +
                        "\n(build it, or give --stub PATH)");
        return kExitInput;
    }
    std::ifstream in(utf8Path(m_stubPath), std::ios::binary);
    m_stub.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        Messages::error("cannot read the stub " + m_stubPath);
        return kExitInput;
    }
    const int64_t marker = StubImage::findMarker(m_stub.data(), m_stub.size());
    if (marker >= 0) {
        Messages::error("the stub " + m_stubPath + " holds a payload marker at offset " +
                        std::to_string(marker) +
                        " (an installer cannot serve as a stub: its payload would be found first)");
        return kExitInput;
    }
    const SignatureArea::CertificateTable signature = SignatureArea::find(m_stub.data(), m_stub.size());
    if (signature.offset != 0) {
        Messages::error("the stub " + m_stubPath + " is signed (a certificate table of " +
                        std::to_string(signature.bytes) + " bytes at offset " +
                        std::to_string(signature.offset) +
                        "): a payload behind it would break the signature, and installers read no payload "
                        "after it; pack with the unsigned stub, then sign the installer");
        return kExitLimits;
    }
    const StubKind kind = StubImage::detectKind(m_stub.data(), m_stub.size());
    m_windowsStub = StubImage::isWindows(kind);
    if (kind == StubKind::Unknown) {
        Messages::warning("the stub " + m_stubPath + " is neither a Windows nor a Linux program");
    }
    if (m_options.branding.any()) {
        if (!m_windowsStub) {
            Messages::error("--icon and --version-info need a Windows stub; " + m_stubPath + " is " +
                            StubImage::describe(m_stub.data(), m_stub.size()));
            return kExitUsage;
        }
        const int code = StubBranding::apply(m_stub, m_stubPath, m_options.branding);
        if (code != kExitOk) return code;
    }
    if (m_encrypted && StubImage::isWindows(kind) && !isAscii(m_password)) {
        Messages::warning(
            "the password has characters outside ASCII; it is hashed as UTF-8, while the "
            "Windows installer hashes what is typed in the system's code page");
    }
    return kExitOk;
}

int Packer::checkDestinationFolder() {
    const std::string* dir = findSetting(m_options, "unzipDir");
    if (dir == nullptr || dir->empty()) return kExitOk;
    int placeholders = 0;
    const std::string settled = settledDestination(*dir, placeholders);
    const std::string atLeast = placeholders != 0 ? "at least " : "";
    // The temporary folder adds at least one byte for each placeholder.
    const size_t bytes = settled.size() + static_cast<size_t>(placeholders);
    if (bytes >= kDirWorkAreaBytes) {
        Messages::error("--dir is " + atLeast + std::to_string(bytes) +
                        " bytes long; the installer makes its folder in an " +
                        std::to_string(kDirWorkAreaBytes) + "-byte work area and would extract nothing");
        return kExitLimits;
    }
    const size_t units = EntryName::utf16Units(settled) + static_cast<size_t>(placeholders);
    if (m_windowsStub && units > kWindowsCurrentDirectoryChars) {
        Messages::error("--dir is " + atLeast + std::to_string(units) +
                        " characters long; Windows cannot enter a folder "
                        "of more than " +
                        std::to_string(kWindowsCurrentDirectoryChars) +
                        " characters, so the installer would extract nothing");
        return kExitLimits;
    }
    return kExitOk;
}

int Packer::checkOutputPlace() {
    const fs::path output = realPlace(m_options.output);
    const std::string shown = TextFormat::displayName(m_options.output);
    std::error_code error;
    if (fs::is_directory(output, error)) {
        Messages::error("-o " + shown + " is a folder; give the installer's file name");
        return kExitUsage;
    }
    int code = kExitOk;
    for (const std::string& input : m_options.inputs) {
        const fs::path place = realPlace(input);
        if (samePlace(output, place)) {
            Messages::error("-o " + shown + " is the input " + TextFormat::displayName(input) +
                            ": writing the installer would destroy it");
            code = kExitUsage;
        } else if (fs::is_directory(place, error) && isInside(output, place)) {
            Messages::error("-o " + shown + " lies inside the input folder " +
                            TextFormat::displayName(input) +
                            ": write the installer outside the folders it packs");
            code = kExitUsage;
        }
    }
    if (samePlace(output, realPlace(m_stubPath))) {
        Messages::error("-o " + shown + " is the stub " + TextFormat::displayName(m_stubPath) +
                        ": writing the installer would destroy it");
        code = kExitUsage;
    }
    if (m_options.password.fileGiven && samePlace(output, realPlace(m_options.password.file))) {
        Messages::error("-o " + shown + " is the password file: writing the installer would destroy it");
        code = kExitUsage;
    }
    return code;
}

int Packer::gatherInputs() {
    const bool ok = m_tree.gather(m_options.inputs);
    for (const std::string& warning : m_tree.warnings()) Messages::warning(warning);
    for (const std::string& error : m_tree.errors()) Messages::error(error);
    if (!ok) return m_tree.errors().size() == m_tree.nameErrorCount() ? kExitLimits : kExitInput;
    if (m_tree.entries().empty() && m_tree.links().empty()) {
        Messages::warning("nothing to pack: the installer will hold no files");
    }
    return kExitOk;
}

// Links are checked like the other names, and their targets for what an
// installer and bvsfx extract make of them.
int Packer::checkLinks() {
    int code = kExitOk;
    for (const PackLink& link : m_tree.links()) {
        const std::string source = TextFormat::displayName(link.source.string());
        const EntryName::PackProblem problem = EntryName::checkForPacking(link.name, m_encrypted);
        if (problem != EntryName::PackProblem::None) {
            Messages::error(source + ": " + EntryName::describe(problem));
            code = kExitLimits;
            continue;
        }
        if (link.name.size() > EntryName::kMaxInstallerNameBytes ||
            link.name.size() + link.target.size() + kLinkRecordOverheadBytes >
                PayloadFormat::kMaxEntryNameBytes) {
            Messages::error(source + ": the link's name and target (" +
                            std::to_string(link.name.size() + link.target.size()) +
                            " bytes) are longer than a payload record can hold");
            code = kExitLimits;
            continue;
        }
        if (EntryName::linkLeavesFolder(link.name, link.target)) {
            Messages::warning(
                source + " -> " + TextFormat::displayName(link.target) +
                ": the link leads out of what is packed; the Linux installer creates it as packed, "
                "bvsfx extract refuses it");
        }
    }
    if (m_windowsStub && !m_tree.links().empty()) {
        Messages::warning(TextFormat::count(m_tree.links().size(), "symbolic link", "symbolic links") +
                          " packed as links: the Windows installer does not create links and leaves them out "
                          "(--dereference packs what they point to)");
    }
    return code;
}

// Every name the installer could not create is an error, each reported
// with the input it comes from; nothing is written when there is one.
int Packer::checkNames() {
    int code = kExitOk;
    std::map<std::u16string, const PackEntry*> windowsKeys;
    for (const PackEntry& entry : m_tree.entries()) {
        const std::string source = TextFormat::displayName(entry.source.string());
        const EntryName::PackProblem problem = EntryName::checkForPacking(entry.name, m_encrypted);
        if (problem != EntryName::PackProblem::None) {
            Messages::error(source + ": " + EntryName::describe(problem));
            code = kExitLimits;
            continue;
        }
        if (entry.name.size() > EntryName::kMaxInstallerNameBytes) {
            Messages::error(source + ": its name in the installer is " + std::to_string(entry.name.size()) +
                            " bytes long; the installer takes names of at most " +
                            std::to_string(EntryName::kMaxInstallerNameBytes) +
                            " bytes and stops extracting there");
            code = kExitLimits;
        }
        if (!m_windowsStub) continue;
        std::string reason;
        if (!EntryName::windowsCanCreate(entry.name, reason)) {
            Messages::error(source + ": " + reason + "; the Windows installer cannot create " +
                            TextFormat::displayName(entry.name));
            code = kExitLimits;
        }
        const auto [it, added] = windowsKeys.emplace(EntryName::windowsFileKey(entry.name), &entry);
        if (!added) {
            Messages::error(TextFormat::displayName(it->second->source.string()) + " and " + source + ": " +
                            TextFormat::displayName(it->second->name) + " and " +
                            TextFormat::displayName(entry.name) +
                            " are one file on Windows, which compares names without regard to case");
            code = kExitLimits;
        }
    }
    return code;
}

void Packer::checkSetupProgram() {
    const std::string* setup = findSetting(m_options, "setupFilename");
    if (setup == nullptr || setup->empty()) return;
    const std::string wanted = normalisedSetupName(*setup);
    for (const PackEntry& entry : m_tree.entries()) {
        if (!entry.isDirectory && entry.name == wanted) return;
    }
    Messages::warning("the setup program " + *setup +
                      " is not among the packed files; the installer will fail to start it "
                      "unless the system finds it elsewhere");
}

int Packer::writeInstaller() {
    const fs::path output = absoluteOrSame(m_options.output);
    // A new file of our own beside the output, never an existing one (a
    // leftover, or a link someone put there).
    fs::path partial;
    FILE* out = nullptr;
    int createError = 0;
    std::optional<TemporaryFiles::HeldInterrupts> held;  // until the new file is registered
    held.emplace();
    for (int attempt = 0; attempt < TemporaryFiles::kNameAttempts && out == nullptr; ++attempt) {
        partial = utf8Path(TemporaryFiles::partialName(output.string(), attempt));
        out = TemporaryFiles::createNew(partial);
        createError = errno;
        if (out == nullptr && createError != EEXIST) break;
    }
    if (out == nullptr) {
        Messages::error("cannot create " + TextFormat::displayName(partial.string()) + ": " +
                        systemReason(createError));
        return kExitOutput;
    }
    const int slot = TemporaryFiles::add(partial.string());
    held.reset();
    std::vector<char> buffer(kOutputBufferBytes);
    std::setvbuf(out, buffer.data(), _IOFBF, buffer.size());

    bool ok = std::fwrite(m_stub.data(), 1, m_stub.size(), out) == m_stub.size() && writePayload(out);
    int writeError = ok ? 0 : errno;
    const uint64_t payloadBytes = m_writer ? m_writer->getBytesWritten() : 0;
    m_pipeline.reset();  // joins the workers before the buffer goes
    if (std::fflush(out) != 0 && ok) {
        ok = false;
        writeError = errno;
    }
    if (std::fclose(out) != 0 && ok) {
        ok = false;
        writeError = errno;
    }
    std::error_code error;
    if (ok) {
        // The installer runs like the stub: its permission bits (execute).
        fs::permissions(partial, fs::status(utf8Path(m_stubPath)).permissions(), fs::perm_options::replace,
                        error);
        fs::rename(partial, output, error);
        if (error) {
            m_failure = "cannot rename " + TextFormat::displayName(partial.string()) + " to " +
                        TextFormat::displayName(output.string()) + ": " + error.message();
        }
    }
    if (!ok || error) {
        fs::remove(partial, error);
        TemporaryFiles::forget(slot);
        if (m_failure.empty()) {
            m_failure = "cannot write " + TextFormat::displayName(partial.string()) +
                        (writeError != 0 ? ": " + systemReason(writeError) : std::string());
        }
        Messages::error(m_failure);
        return m_inputFailed ? kExitInput : kExitOutput;
    }
    TemporaryFiles::forget(slot);

    Messages::note(
        "wrote " + TextFormat::displayName(output.string()) + ": " +
            TextFormat::count(m_tree.fileCount(), "file", "files") + ", " +
            TextFormat::count(m_tree.directoryCount(), "folder", "folders") + ", " +
            (m_tree.links().empty() ? std::string()
                                    : TextFormat::count(m_tree.links().size(), "link", "links") + ", ") +
            TextFormat::bytes(m_tree.totalFileBytes()) + " in " + TextFormat::bytes(payloadBytes) +
            " of payload (" + std::to_string(m_deflatedChunks) + " deflated and " +
            TextFormat::count(m_storedChunks, "stored chunk", "stored chunks") +
            (m_encrypted
                 ? ", AES-" + std::to_string(m_options.keyBits) +
                       (strongEncryption() ? ", PBKDF2-HMAC-SHA256 " +
                                                 std::to_string(m_options.kdfIterations) + " iterations"
                                           : ", classic")
                 : "") +
            ") behind a stub of " + std::to_string(m_stub.size()) + " bytes",
        m_options.quiet);
    return kExitOk;
}

bool Packer::writePayload(FILE* out) {
    m_writer = std::make_unique<PayloadWriter>(out);
    if (strongEncryption()) {
        if (!m_writer->setStrongEncryption(m_password.c_str(), m_options.keyBits, m_options.kdfIterations)) {
            m_failure = "cannot derive the key (the system's random source failed)";
            return false;
        }
    } else if (m_encrypted) {
        if (!m_writer->setEncryption(m_password.c_str(), m_options.keyBits)) return false;
        StringBuffer password(m_password.c_str());
        derivePayloadKey(password, m_options.keyBits, m_key);
    }
    if (kHostHasUnixModes && !m_writer->setExtensionFlags(PayloadFormat::kExtensionUnixTrailer)) return false;
    if (!m_writer->writeHeader()) return false;
    for (const auto& setting : m_options.settings) {
        if (!m_writer->addSetting(setting.first.c_str(), setting.second.c_str())) return false;
    }
    if (!m_writer->endSettings()) return false;
    if (!writeCheckRecord({CheckRecord::Kind::Settings, headerAndSettingsCrc(), 0, 0})) return false;

    std::vector<std::unique_ptr<ChunkEncoder>> encoders;
    for (uint32_t i = 0; i < m_options.jobs; ++i) {
        if (strongEncryption()) {
            encoders.push_back(std::make_unique<ChunkEncoder>(m_options.level, *m_writer->strongCipher()));
        } else {
            encoders.push_back(std::make_unique<ChunkEncoder>(m_options.level, m_encrypted ? &m_key : nullptr,
                                                              m_options.keyBits));
        }
    }
    m_pipeline = std::make_unique<ChunkPipeline>(std::move(encoders));
    m_progress =
        std::make_unique<ProgressBar>("pack", m_tree.totalFileBytes(), ProgressBar::wanted(m_options.quiet));

    for (const PackEntry& entry : m_tree.entries()) {
        if (entry.isDirectory) {
            queue(PendingStep{PendingStep::Kind::Directory, &entry, nullptr, 0, 0});
        } else if (!queueFile(entry)) {
            return false;
        }
        if (!writeReadySteps(false)) return false;
    }
    while (!m_pending.empty()) {
        if (!writeReadySteps(true)) return false;
    }
    const uint64_t entries = m_tree.entries().size();
    if (!writeCheckRecord({CheckRecord::Kind::End, 0, 0, entries}) || !m_writer->writeEnd()) return false;
    if (kHostHasUnixModes && !writeUnixTrailer()) return false;
    m_progress->finish();
    return true;
}

// Behind the end record: the mode of every entry, then the links, then
// their check record and an end record (UnixRecord.h).
bool Packer::writeUnixTrailer() {
    UnixRecord::TrailerSum sum;
    auto writeRecord = [this, &sum](const UnixRecord::Fields& fields) {
        const std::string text = UnixRecord::format(fields);
        sum.add(UnixRecord::kUnixRecordType, text.data(), text.size());
        return m_writer->writeTrailerRecord(UnixRecord::kUnixRecordType, text.data(),
                                            static_cast<uint32_t>(text.size()));
    };
    const std::vector<PackEntry>& entries = m_tree.entries();
    for (size_t i = 0; i < entries.size(); ++i) {
        UnixRecord::Fields fields;
        fields.kind = UnixRecord::Kind::Mode;
        fields.entryIndex = i;
        fields.mode = entries[i].mode;
        if (!writeRecord(fields)) return false;
    }
    for (const PackLink& link : m_tree.links()) {
        UnixRecord::Fields fields;
        fields.kind = UnixRecord::Kind::Link;
        fields.name = link.name;
        fields.target = link.target;
        if (!writeRecord(fields)) return false;
    }
    const std::string check = CheckRecord::format({CheckRecord::Kind::Trailer, sum.crc(), 0, sum.records()});
    return m_writer->writeTrailerRecord(CheckRecord::kCheckRecordType, check.data(),
                                        static_cast<uint32_t>(check.size())) &&
           m_writer->writeTrailerEnd();
}

bool Packer::queueFile(const PackEntry& entry) {
    queue(PendingStep{PendingStep::Kind::BeginFile, &entry, nullptr, 0, 0});
    InputFile input;
    if (!input.open(fs::absolute(entry.source).string())) {
        m_inputFailed = true;
        m_failure = "cannot open " + TextFormat::displayName(entry.source.string());
        return false;
    }
    const uint32_t sliceBytes =
        strongEncryption() ? ChunkEncoder::maxStrongSliceBytes() : ChunkEncoder::maxSliceBytes(m_encrypted);
    ZipCRC crc;
    uint64_t size = 0;
    bool atEnd = false;
    while (!atEnd) {
        std::vector<uint8_t> slice;
        if (!readSlice(input, entry, sliceBytes, size, slice, atEnd)) return false;
        if (slice.empty()) break;
        crc.update(slice.data(), static_cast<uint32_t>(slice.size()));
        size += slice.size();
        queue(PendingStep{PendingStep::Kind::Chunk, &entry, m_pipeline->submit(std::move(slice)), 0, 0});
        while (m_chunksPending >= chunksInFlightLimit()) {
            if (!writeReadySteps(true)) return false;
        }
    }
    input.close();
    const std::string change = describeChange(entry, size);
    if (!change.empty()) {
        const std::string source = TextFormat::displayName(entry.source.string());
        if (!m_options.allowChanging || m_options.strict) {
            m_inputFailed = true;
            m_failure = source + ": changed while it was read (" + change +
                        "); nothing was written (--allow-changing packs such a file as it was read)";
            return false;
        }
        Messages::warning(source + ": changed while it was read (" + change + "); packed as it was read");
    }
    queue(PendingStep{PendingStep::Kind::EndFile, &entry, nullptr, crc.final(), size});
    return true;
}

std::string Packer::describeChange(const PackEntry& entry, uint64_t bytesRead) const {
    std::string change;
    auto add = [&change](const std::string& text) { change += (change.empty() ? "" : ", ") + text; };
    std::error_code error;
    const uint64_t sizeNow = fs::file_size(entry.source, error);
    if (error) return "it can no longer be read: " + error.message();
    uint64_t fileTimeNow = 0;
    uint32_t attributes = 0;
    bool isDirectory = false;
    if (!readEntryMetadata(entry.source, fileTimeNow, attributes, isDirectory))
        return "it can no longer be read";
    if (bytesRead != entry.size || sizeNow != entry.size) {
        add(std::to_string(entry.size) + " bytes when the inputs were listed, " + std::to_string(bytesRead) +
            " bytes read, " + std::to_string(sizeNow) + " bytes now");
    }
    if (fileTimeNow != entry.fileTime) add("its last-write time moved");
    return change;
}

// Every slice but a file's last holds exactly sliceBytes, whatever the size
// the walk saw, so chunk boundaries depend on the content alone. The buffer
// starts at the size the walk expects (plus one byte, to see the end) and
// grows when the file turns out longer.
bool Packer::readSlice(InputFile& input, const PackEntry& entry, uint32_t sliceBytes, uint64_t doneBytes,
                       std::vector<uint8_t>& slice, bool& atEnd) {
    const uint64_t expectedLeft = entry.size > doneBytes ? entry.size - doneBytes : 0;
    uint64_t capacity = expectedLeft + 1;
    if (capacity < kFirstReadBytes) capacity = kFirstReadBytes;
    if (capacity > sliceBytes) capacity = sliceBytes;
    uint32_t filled = 0;
    for (;;) {
        slice.resize(static_cast<size_t>(capacity));
        uint32_t got = 0;
        const uint32_t wanted = static_cast<uint32_t>(capacity) - filled;
        if (!input.readFull(slice.data() + filled, wanted, got)) {
            m_inputFailed = true;
            m_failure = "cannot read " + TextFormat::displayName(entry.source.string());
            return false;
        }
        filled += got;
        if (got < wanted) {
            atEnd = true;
            break;
        }
        if (capacity == sliceBytes) break;
        capacity = capacity * 2 > sliceBytes ? sliceBytes : capacity * 2;
    }
    slice.resize(filled);
    return true;
}

void Packer::queue(PendingStep step) {
    if (step.kind == PendingStep::Kind::Chunk) ++m_chunksPending;
    m_pending.push_back(std::move(step));
}

uint32_t Packer::chunksInFlightLimit() const {
    return m_options.jobs * kChunksInFlightPerWorker + kExtraChunksInFlight;
}

bool Packer::writeReadySteps(bool waitForFront) {
    while (!m_pending.empty()) {
        PendingStep& front = m_pending.front();
        if (front.kind == PendingStep::Kind::Chunk) {
            if (waitForFront) {
                m_pipeline->wait(*front.job);
                waitForFront = false;
            } else if (!m_pipeline->isDone(*front.job)) {
                return true;
            }
        }
        if (!writeStep(front)) return false;
        if (front.kind == PendingStep::Kind::Chunk) --m_chunksPending;
        m_pending.pop_front();
    }
    return true;
}

bool Packer::writeStep(PendingStep& step) {
    const PackEntry& entry = *step.entry;
    switch (step.kind) {
        case PendingStep::Kind::Directory:
            return m_writer->writeDirectory(entry.name.c_str(), entry.fileTime, entry.attributes) &&
                   writeCheckRecord({CheckRecord::Kind::Directory, entryCrc(entry), 0, 0});
        case PendingStep::Kind::BeginFile:
            return m_writer->beginFile(entry.name.c_str(), entry.fileTime, entry.attributes);
        case PendingStep::Kind::Chunk:
            if (!step.job->ok) {
                m_failure = "cannot encode a chunk of " + TextFormat::displayName(entry.source.string());
                return false;
            }
            if (!writeChunk(step.job->encoded)) return false;
            m_progress->advance(step.job->encoded.plainBytes);
            step.job.reset();
            return true;
        case PendingStep::Kind::EndFile:
            return m_writer->endFile() &&
                   writeCheckRecord({CheckRecord::Kind::File, entryCrc(entry), step.crc32, step.size});
    }
    return false;
}

bool Packer::writeCheckRecord(const CheckRecord::Fields& fields) {
    return m_writer->writeOtherEntry(CheckRecord::kCheckRecordType, CheckRecord::format(fields).c_str(), 0,
                                     0);
}

uint32_t Packer::entryCrc(const PackEntry& entry) {
    const uint8_t type = entry.isDirectory ? PayloadFormat::kEntryDirectory : PayloadFormat::kEntryFile;
    return CheckRecord::entryHeaderCrc(type, entry.name, entry.fileTime, entry.attributes);
}

// The header and the settings table as PayloadWriter lays them out: the
// extension flags, 3 zero bytes, the encryption flag and key length code, then the pairs and, below
// 200 pairs, the zero terminator.
uint32_t Packer::headerAndSettingsCrc() const {
    const uint8_t flags = kHostHasUnixModes ? PayloadFormat::kExtensionUnixTrailer : 0;
    std::vector<uint8_t> bytes = {flags, 0, 0, 0, static_cast<uint8_t>(m_encrypted ? 1 : 0), 0};
    if (m_encrypted) {
        bytes[5] = m_options.keyBits == PayloadFormat::kKeyBits128   ? PayloadFormat::kKeyLengthCode128
                   : m_options.keyBits == PayloadFormat::kKeyBits192 ? PayloadFormat::kKeyLengthCode192
                                                                     : PayloadFormat::kKeyLengthCode256;
    }
    auto appendField = [&bytes](const std::string& text) {
        bytes.push_back(static_cast<uint8_t>(text.size()));
        bytes.push_back(static_cast<uint8_t>(text.size() >> 8));
        bytes.insert(bytes.end(), text.begin(), text.end());
    };
    for (const auto& setting : m_options.settings) {
        appendField(setting.first);
        appendField(setting.second);
    }
    if (m_options.settings.size() < PayloadFormat::kMaxSettingsPairs) appendField(std::string());
    ZipCRC crc;
    crc.reset();
    crc.update(bytes.data(), static_cast<uint32_t>(bytes.size()));
    return crc.final();
}

bool Packer::writeChunk(const EncodedChunk& chunk) {
    const uint32_t size = static_cast<uint32_t>(chunk.data.size());
    if (chunk.stored)
        ++m_storedChunks;
    else
        ++m_deflatedChunks;
    if (!m_encrypted) {
        return chunk.stored ? m_writer->writeStoredChunk(chunk.data.data(), size)
                            : m_writer->writeCompressedChunk(chunk.data.data(), size);
    }
    // Enciphered by the worker; the writer adds the code in payload order.
    if (strongEncryption()) return m_writer->writeSealedChunk(chunk.stored, chunk.data.data(), size);
    // Already enciphered by the worker: the length field and the bytes as
    // they stand (the writer would encipher them a second time).
    uint8_t field[PayloadFormat::kChunkLengthFieldBytes];
    storeLittleEndian32(field, ChunkEncoder::lengthField(chunk));
    return m_writer->writeRaw(field, sizeof(field)) && m_writer->writeRaw(chunk.data.data(), size);
}
