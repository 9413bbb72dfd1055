// bvsfx list: one line per entry, in payload order. Names that hold control
// characters, bytes that are not UTF-8 or characters that reorder text are
// shown escaped (TextFormat::displayName), so that a name cannot act on the
// terminal; a name an installer would handle wrongly (bvsfx test's rules)
// is followed by the reason in parentheses.

#include <cstdio>

#include "payload/PayloadFormat.h"
#include "tools/bvsfx/EntryName.h"
#include "tools/bvsfx/ExitCode.h"
#include "tools/bvsfx/InspectCommands.h"
#include "tools/bvsfx/InstallerFile.h"
#include "tools/bvsfx/Messages.h"
#include "tools/bvsfx/PayloadWalker.h"
#include "tools/bvsfx/TextFormat.h"

namespace {

class ListPrinter : public PayloadVisitor {
public:
    explicit ListPrinter(bool windowsStub) : m_windowsStub(windowsStub) {}

    bool onDirectory(const PayloadReader::EntryRecord& entry) override {
        print(entry, "-", "-", TextFormat::displayName(entry.name) + "/" + problemOf(entry.name));
        return true;
    }
    bool onFileEnd(const PayloadReader::EntryRecord& entry, const FileSummary& summary) override {
        const std::string size = summary.hasCheckRecord ? std::to_string(summary.recordedSize) : "?";
        print(entry, size, std::to_string(summary.packedBytes),
              TextFormat::displayName(entry.name) + problemOf(entry.name));
        return true;
    }
    void onOtherRecord(const PayloadReader::EntryRecord& entry) override {
        print(entry, "-", "-",
              TextFormat::displayName(entry.name) + "  (record type " + std::to_string(entry.type) + ", skipped)");
    }

private:
    std::string problemOf(const std::string& name) const {
        std::string reason;
        if (EntryName::installerCanExtract(name, m_windowsStub, reason)) return std::string();
        return "  (" + reason + ")";
    }

    bool m_windowsStub;

    static void print(const PayloadReader::EntryRecord& entry, const std::string& size, const std::string& packed,
                      const std::string& name) {
        std::printf("%s  %s %12s %12s  %s\n", TextFormat::fileTime(entry.fileTime).c_str(),
                    TextFormat::attributes(entry.attributes).c_str(), size.c_str(), packed.c_str(), name.c_str());
    }
};

}  // namespace

int runList(const InspectOptions& options) {
    InstallerFile file;
    int code = file.open(options.file);
    if (code == kExitOk) code = file.unlock(options.password, true);
    if (code != kExitOk) return code;
    std::printf("%-19s  %-5s %12s %12s  %s\n", "Time (UTC)", "Attr", "Size", "Packed", "Name");
    ListPrinter printer(file.windowsStub());
    PayloadWalker walker(file, false, nullptr);
    walker.walk(printer);
    std::printf("%s, %s, %s in %s\n", TextFormat::count(walker.files(), "file", "files").c_str(),
                TextFormat::count(walker.directories(), "folder", "folders").c_str(),
                walker.uncheckedFiles() == 0 ? TextFormat::bytes(walker.knownFileBytes()).c_str() : "? bytes",
                TextFormat::bytes(walker.packedBytes()).c_str());
    for (const std::string& problem : walker.problems()) Messages::error(options.file + ": " + problem);
    return walker.problems().empty() ? kExitOk : kExitDamaged;
}
