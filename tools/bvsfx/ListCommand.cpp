// bvsfx list: one line per entry, in payload order. Names that hold control
// characters, bytes that are not UTF-8 or characters that reorder text are
// shown escaped (TextFormat::displayName), so that a name cannot act on the
// terminal; a name an installer would handle wrongly (bvsfx test's rules)
// is followed by the reason in parentheses.
//
// The Unix modes (bits in octal) and the symbolic links behind the end
// record come after all entries in the payload, so the lines are printed
// once the walk is over: each entry with its mode ("-" when the payload
// has none), then the links, "name -> target".

#include <cstdio>
#include <vector>

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
        add(entry, true, "-", "-", TextFormat::displayName(entry.name) + "/" + problemOf(entry.name));
        return true;
    }
    bool onFileEnd(const PayloadReader::EntryRecord& entry, const FileSummary& summary) override {
        const std::string size = summary.hasCheckRecord ? std::to_string(summary.recordedSize) : "?";
        add(entry, true, size, std::to_string(summary.packedBytes),
            TextFormat::displayName(entry.name) + problemOf(entry.name));
        return true;
    }
    void onOtherRecord(const PayloadReader::EntryRecord& entry) override {
        add(entry, false, "-", "-",
            TextFormat::displayName(entry.name) + "  (record type " + std::to_string(entry.type) +
                ", skipped)");
    }

    // The lines, with the modes and links of the walk's Unix records when
    // it found sound ones.
    void print(const PayloadWalker& walker) const {
        const bool modes = walker.hasUnixTrailer();
        uint64_t entryIndex = 0;
        for (const Line& line : m_lines) {
            std::string mode = "-";
            if (modes && line.isEntry) mode = octal(walker.unixTrailer().modeOf(entryIndex));
            if (line.isEntry) ++entryIndex;
            std::printf("%s  %s %4s %12s %12s  %s\n", TextFormat::fileTime(line.entry.fileTime).c_str(),
                        TextFormat::attributes(line.entry.attributes).c_str(), mode.c_str(),
                        line.size.c_str(), line.packed.c_str(), line.name.c_str());
        }
        if (!modes) return;
        for (const UnixTrailer::Link& link : walker.unixTrailer().links()) {
            std::printf("%-19s  %-5s %4s %12s %12s  %s -> %s%s\n", "-", "link", "-", "-", "-",
                        TextFormat::displayName(link.name).c_str(),
                        TextFormat::displayName(link.target).c_str(), problemOf(link.name).c_str());
        }
    }

private:
    struct Line {
        PayloadReader::EntryRecord entry;
        bool isEntry;
        std::string size;
        std::string packed;
        std::string name;
    };

    static std::string octal(uint32_t mode) {
        if (mode == UnixTrailer::kNoMode) return "-";
        char text[16];
        std::snprintf(text, sizeof(text), "%04o", static_cast<unsigned>(mode));
        return text;
    }

    void add(const PayloadReader::EntryRecord& entry, bool isEntry, const std::string& size,
             const std::string& packed, const std::string& name) {
        m_lines.push_back(Line{entry, isEntry, size, packed, name});
    }

    std::string problemOf(const std::string& name) const {
        std::string reason;
        if (EntryName::installerCanExtract(name, m_windowsStub, reason)) return std::string();
        return "  (" + reason + ")";
    }

    bool m_windowsStub;
    std::vector<Line> m_lines;
};

}  // namespace

int runList(const InspectOptions& options) {
    InstallerFile file;
    int code = file.open(options.file);
    if (code == kExitOk) code = file.unlock(options.password, true);
    if (code != kExitOk) return code;
    std::printf("%-19s  %-5s %4s %12s %12s  %s\n", "Time (UTC)", "Attr", "Mode", "Size", "Packed", "Name");
    ListPrinter printer(file.windowsStub());
    PayloadWalker walker(file, false, nullptr);
    walker.walk(printer);
    printer.print(walker);
    const size_t links = walker.hasUnixTrailer() ? walker.unixTrailer().links().size() : 0;
    std::printf("%s, %s, %s%s in %s\n", TextFormat::count(walker.files(), "file", "files").c_str(),
                TextFormat::count(walker.directories(), "folder", "folders").c_str(),
                links == 0 ? "" : (TextFormat::count(links, "link", "links") + ", ").c_str(),
                walker.uncheckedFiles() == 0 ? TextFormat::bytes(walker.knownFileBytes()).c_str() : "? bytes",
                TextFormat::bytes(walker.packedBytes()).c_str());
    for (const std::string& problem : walker.problems()) Messages::error(options.file + ": " + problem);
    return walker.problems().empty() ? kExitOk : kExitDamaged;
}
