// bvsfx test: decodes everything and reports every damage found, and every
// name an installer would handle wrongly: one that would leave the
// destination, one with control characters, one longer than the installer
// takes, and, when the stub is a Windows program, one that Windows cannot
// hold. Any of them makes the installer unfit: exit code 7.

#include <cstdio>
#include <string>
#include <vector>

#include "tools/bvsfx/EntryName.h"
#include "tools/bvsfx/ExitCode.h"
#include "tools/bvsfx/InspectCommands.h"
#include "tools/bvsfx/InstallerFile.h"
#include "tools/bvsfx/Messages.h"
#include "tools/bvsfx/PayloadWalker.h"
#include "tools/bvsfx/ProgressBar.h"
#include "tools/bvsfx/TextFormat.h"

namespace {

class NameChecker : public PayloadVisitor {
public:
    explicit NameChecker(bool windowsStub) : m_windowsStub(windowsStub) {}

    bool onDirectory(const PayloadReader::EntryRecord& entry) override {
        check(entry);
        return true;
    }
    bool onFileBegin(const PayloadReader::EntryRecord& entry) override {
        check(entry);
        return true;
    }

    const std::vector<std::string>& problems() const { return m_problems; }

private:
    void check(const PayloadReader::EntryRecord& entry) {
        std::string reason;
        if (EntryName::installerCanExtract(entry.name, m_windowsStub, reason)) return;
        m_problems.push_back(TextFormat::displayName(entry.name) + ": " + reason + " (offset " +
                             std::to_string(entry.offset) + ")");
    }

    bool m_windowsStub;
    std::vector<std::string> m_problems;
};

}  // namespace

int runTest(const InspectOptions& options) {
    InstallerFile file;
    int code = file.open(options.file);
    if (code == kExitOk) code = file.unlock(options.password, true);
    if (code != kExitOk) return code;

    ProgressBar progress("test", file.fileSize(), ProgressBar::wanted(options.quiet));
    progress.set(file.reader().position());
    NameChecker names(file.windowsStub());
    PayloadWalker walker(file, true, &progress);
    const bool sound = walker.walk(names);
    if (sound) progress.finish();
    std::vector<std::string> problems = walker.problems();
    problems.insert(problems.end(), names.problems().begin(), names.problems().end());
    for (const std::string& problem : problems) Messages::error(options.file + ": " + problem);
    if (!problems.empty()) {
        std::printf("%s: %s (%s)\n", options.file.c_str(), sound ? "UNFIT" : "DAMAGED",
                    TextFormat::count(problems.size(), "problem", "problems").c_str());
        return kExitDamaged;
    }
    std::printf("%s: OK, %s and %s", options.file.c_str(),
                TextFormat::count(walker.files(), "file", "files").c_str(),
                TextFormat::count(walker.directories(), "folder", "folders").c_str());
    if (walker.uncheckedFiles() != 0) {
        const bool one = walker.uncheckedFiles() == 1;
        std::printf("; %s no check record, so damage to %s stored data could not be detected",
                    TextFormat::count(walker.uncheckedFiles(), "file has", "files have").c_str(),
                    one ? "its" : "their");
    }
    std::printf("\n");
    return kExitOk;
}
