// bvsfx test: decodes everything and reports every damage found.

#include <cstdio>

#include "tools/bvsfx/ExitCode.h"
#include "tools/bvsfx/InspectCommands.h"
#include "tools/bvsfx/InstallerFile.h"
#include "tools/bvsfx/Messages.h"
#include "tools/bvsfx/PayloadWalker.h"
#include "tools/bvsfx/ProgressBar.h"

int runTest(const InspectOptions& options) {
    InstallerFile file;
    int code = file.open(options.file);
    if (code == kExitOk) code = file.unlock(options.password, true);
    if (code != kExitOk) return code;

    ProgressBar progress("test", file.fileSize(), ProgressBar::wanted(options.quiet));
    progress.set(file.reader().position());
    PayloadVisitor nothing;
    PayloadWalker walker(file, true, &progress);
    const bool sound = walker.walk(nothing);
    if (sound) progress.finish();
    for (const std::string& problem : walker.problems()) Messages::error(options.file + ": " + problem);
    if (!sound) {
        std::printf("%s: DAMAGED (%zu problems)\n", options.file.c_str(), walker.problems().size());
        return kExitDamaged;
    }
    std::printf("%s: OK, %u files and %u folders", options.file.c_str(), walker.files(), walker.directories());
    if (walker.uncheckedFiles() != 0) {
        std::printf("; %u files have no check record, so damage to their stored data could not be detected",
                    walker.uncheckedFiles());
    }
    std::printf("\n");
    return kExitOk;
}
