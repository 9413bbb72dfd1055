#pragma once
// TemporaryFiles: the files bvsfx is writing under a temporary name before
// it renames them into place (the installer a pack writes, each file an
// extract writes). When bvsfx is interrupted (SIGINT, SIGTERM, and SIGHUP
// where it exists) they are removed before the process ends, so that an
// interrupted run leaves neither a half installer nor a half file behind.
//
// A handful of slots is enough: a pack writes one file at a time, an extract
// one at a time. The slots are plain arrays so that the signal handler only
// reads memory that is complete (a slot is marked in use after its path is
// written, and unmarked before it is reused).

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>

namespace TemporaryFiles {

constexpr int kSlots = 4;
constexpr size_t kMaxPathBytes = 4096;

// Installs the handlers once; later calls do nothing.
void removeOnInterrupt();

// Registers a path; returns its slot, or -1 when no slot is free or the path
// is too long (the file then is not removed on an interruption).
int add(const std::string& path);

// Forgets a slot (after the file was renamed into place or deleted). -1 is
// ignored.
void forget(int slot);

// Creates a new file for writing that did not exist before (never opening
// or truncating an existing file or following a link in its place). Null
// with errno set on failure.
FILE* createNew(const std::filesystem::path& path);

// The temporary name of the attempt-th try for a file written at finalPath:
// "<finalPath>.bvsfx-partial", then "<finalPath>.bvsfx-partial-1", ...
std::string partialName(const std::string& finalPath, int attempt);

// Holds back SIGINT, SIGTERM and SIGHUP while it lives (POSIX; nothing on
// Windows, whose console interruptions do not arrive as these signals). A
// temporary file is created and registered under one: a signal between the
// two would otherwise end the process without removing the new file, and
// registering the name before the file exists would have the handler remove
// a file of that name that is not ours.
class HeldInterrupts {
public:
    HeldInterrupts();
    ~HeldInterrupts();
    HeldInterrupts(const HeldInterrupts&) = delete;
    HeldInterrupts& operator=(const HeldInterrupts&) = delete;

private:
#ifndef _WIN32
    sigset_t m_previous;
#endif
};

// How many names partialName offers before a creation gives up.
constexpr int kNameAttempts = 100;

}  // namespace TemporaryFiles
