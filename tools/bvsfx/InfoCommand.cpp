// bvsfx info: what an installer holds, without decoding its data.

#include <cstdio>
#include <set>

#include "tools/bvsfx/ExitCode.h"
#include "tools/bvsfx/InspectCommands.h"
#include "tools/bvsfx/InstallerFile.h"
#include "tools/bvsfx/Messages.h"
#include "tools/bvsfx/PayloadWalker.h"
#include "tools/bvsfx/TextFormat.h"

namespace {

// The settings the installer reads; others are carried and ignored.
bool isKnownSetting(const std::string& name) {
    static const std::set<std::string> kKnown = {
        "appTitle",    "appCaption",  "setupFilename", "setupParams",       "unzipDir",
        "noInterface", "unzipToTemp", "waitForSetup",  "cleanupAfterSetup", "allowCommandLine"};
    return kKnown.count(name) != 0;
}

void printSettings(PayloadReader& reader) {
    const auto& settings = reader.settings();
    std::printf("Settings:        %zu%s\n", settings.size(),
                reader.settingsTerminated() ? "" : " (a full table, without terminator)");
    for (size_t i = 0; i < settings.size(); ++i) {
        bool replaced = false;
        for (size_t later = i + 1; later < settings.size(); ++later) {
            replaced = replaced || settings[later].name == settings[i].name;
        }
        std::string note;
        if (replaced)
            note = "  (replaced by a later value)";
        else if (!isKnownSetting(settings[i].name))
            note = "  (not used by the installer)";
        // Escaped like names, so that a setting cannot act on the terminal.
        const std::string value = TextFormat::displayName(settings[i].value);
        const std::string quoted = !value.empty() && value.front() == '"' ? value : "\"" + value + "\"";
        std::printf("  %s = %s%s\n", TextFormat::displayName(settings[i].name).c_str(), quoted.c_str(),
                    note.c_str());
    }
}

// The value the installer uses equals expected (lower case) in any ASCII
// letter case.
bool settingEquals(PayloadReader& reader, const char* name, const std::string& expected) {
    std::string value;
    if (!reader.getSetting(name, value) || value.size() != expected.size()) return false;
    for (size_t i = 0; i < value.size(); ++i) {
        const char c =
            value[i] >= 'A' && value[i] <= 'Z' ? static_cast<char>(value[i] - 'A' + 'a') : value[i];
        if (c != expected[i]) return false;
    }
    return true;
}

// What the installer does around the extraction, as its settings say
// (the flags count in any letter case, as the installer reads them).
void printRunBehaviour(PayloadReader& reader) {
    const bool waits = settingEquals(reader, "waitForSetup", "true");
    const bool cleansUp = waits && settingEquals(reader, "cleanupAfterSetup", "true");
    std::string setup;
    if (!reader.getSetting("setupFilename", setup) || setup.empty()) {
        std::printf("Setup program:   none\n");
    } else {
        std::printf("Setup program:   %s%s\n",
                    waits ? "waited for; a silent run exits with its exit code" : "started, not waited for",
                    cleansUp ? "; a temporary folder the installer made is removed after it ended" : "");
    }
    std::printf("Command line:    %s\n",
                settingEquals(reader, "allowCommandLine", "false")
                    ? "the installer's own options are off (allowCommandLine)"
                    : "the installer takes --help, --list, --check, --target, --noexec, "
                      "--quiet and --");
}

// "none", "classic: AES-256 (CBC), key MD5(password), unsalted" or
// "strong: AES-256 (CBC), key PBKDF2-HMAC-SHA256, 600000 iterations, ...".
std::string encryptionDescription(const PayloadReader& reader) {
    if (!reader.isEncrypted()) return "none";
    const std::string cipher = "AES-" + std::to_string(reader.keyBits()) + " (CBC)";
    if (!reader.isStrong())
        return "classic: " + cipher + ", key MD5(password), unsalted, unauthenticated (weak)";
    return "strong: " + cipher + ", key PBKDF2-HMAC-SHA256, " +
           std::to_string(reader.strongKeyRecord().iterations) +
           " iterations, 16-byte salt; HMAC-SHA256 on settings, names and chunks";
}

}  // namespace

int runInfo(const InspectOptions& options) {
    InstallerFile file;
    int code = file.open(options.file);
    if (code == kExitOk) code = file.unlock(options.password, false);
    if (code != kExitOk) return code;
    PayloadReader& reader = file.reader();

    std::printf("File:            %s (%llu bytes)\n", options.file.c_str(),
                static_cast<unsigned long long>(file.fileSize()));
    std::printf("Stub:            %s, %llu bytes\n", file.stubDescription().c_str(),
                static_cast<unsigned long long>(reader.markerOffset()));
    const SignatureArea::CertificateTable signature = file.signature();
    if (signature.offset != 0) {
        std::printf("Signed:          yes (certificate table of %u bytes at offset %llu)\n", signature.bytes,
                    static_cast<unsigned long long>(signature.offset));
    } else {
        std::printf("Signed:          no\n");
    }
    std::printf("Encryption:      %s\n", encryptionDescription(reader).c_str());
    printSettings(reader);
    printRunBehaviour(reader);

    PayloadVisitor counter;
    PayloadWalker walker(file, false, nullptr);
    walker.walk(counter);
    std::printf("Entries:         %s, %s", TextFormat::count(walker.files(), "file", "files").c_str(),
                TextFormat::count(walker.directories(), "folder", "folders").c_str());
    if (walker.otherRecords() != 0) {
        std::printf(", %s",
                    TextFormat::count(walker.otherRecords(), "other record", "other records").c_str());
    }
    std::printf("\n");
    std::printf("Chunks:          %u deflated, %u stored\n", walker.deflatedChunks(), walker.storedChunks());
    if (walker.hasUnixTrailer()) {
        std::printf("Unix modes:      of %s, and %s (applied by Linux installers, skipped by Windows ones)\n",
                    TextFormat::count(walker.unixTrailer().modeCount(), "entry", "entries").c_str(),
                    TextFormat::count(walker.unixTrailer().links().size(), "symbolic link", "symbolic links")
                        .c_str());
    } else if (walker.announcesUnixTrailer() && !file.namesReadable()) {
        std::printf("Unix modes:      present (the password is needed to read them)\n");
    } else if (!walker.announcesUnixTrailer()) {
        std::printf("Unix modes:      none (extracted files get the system's default modes)\n");
    }
    if (walker.uncheckedFiles() == 0) {
        std::printf("File data:       %llu bytes, packed into %llu bytes (%s)\n",
                    static_cast<unsigned long long>(walker.knownFileBytes()),
                    static_cast<unsigned long long>(walker.packedBytes()),
                    TextFormat::ratio(walker.packedBytes(), walker.knownFileBytes()).c_str());
    } else {
        std::printf("File data:       packed into %llu bytes; %u files without a readable check record%s\n",
                    static_cast<unsigned long long>(walker.packedBytes()), walker.uncheckedFiles(),
                    file.namesReadable() ? "" : " (the password is needed to read them)");
    }
    if (walker.reachedEnd()) {
        std::printf("Payload:         %llu bytes, from offset %llu to %llu\n",
                    static_cast<unsigned long long>(walker.endOffset() - reader.markerOffset()),
                    static_cast<unsigned long long>(reader.markerOffset()),
                    static_cast<unsigned long long>(walker.endOffset()));
        if (walker.endOffset() < file.fileSize()) {
            std::printf("Trailing bytes:  %llu after the end record\n",
                        static_cast<unsigned long long>(file.fileSize() - walker.endOffset()));
        }
    }
    for (const std::string& problem : walker.problems()) Messages::error(options.file + ": " + problem);
    return walker.problems().empty() ? kExitOk : kExitDamaged;
}
