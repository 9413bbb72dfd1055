// Process handles: waiting for a child started by ShellExecuteExA and
// reading its exit code (WaitForSingleObject, MsgWaitForMultipleObjects,
// GetExitCodeProcess, CloseHandle).
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>

#include "platform/posix/PosixLayer.h"

namespace {

// A wait with a time limit looks at the child this often: waitpid(2) itself
// takes no time limit.
constexpr auto kPollInterval = std::chrono::milliseconds(10);
// Exit code of a child ended by a signal: 128 plus the signal's number, as
// the POSIX shells report it (Windows has no signals).
constexpr DWORD kSignalExitBase = 128;

struct ProcessRecord {
    pid_t pid;
    bool ended = false;
    DWORD exitCode = STILL_ACTIVE;
};

std::mutex g_processesMutex;

std::set<ProcessRecord*>& liveProcesses() {
    static auto* processes = new std::set<ProcessRecord*>();
    return *processes;
}

ProcessRecord* lookupProcess(HANDLE handle) {
    auto* candidate = static_cast<ProcessRecord*>(handle);
    std::lock_guard<std::mutex> lock(g_processesMutex);
    return liveProcesses().count(candidate) != 0 ? candidate : nullptr;
}

DWORD exitCodeFromStatus(int status) {
    if (WIFEXITED(status)) return static_cast<DWORD>(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return kSignalExitBase + static_cast<DWORD>(WTERMSIG(status));
    return STILL_ACTIVE;
}

// Reaps the child if it has ended (waiting for that when `block`). True when
// it has ended, now or before.
bool reap(ProcessRecord& process, bool block) {
    if (process.ended) return true;
    int status = 0;
    pid_t result;
    while ((result = ::waitpid(process.pid, &status, block ? 0 : WNOHANG)) < 0 && errno == EINTR) {}
    if (result == process.pid && (WIFEXITED(status) || WIFSIGNALED(status))) {
        process.ended = true;
        process.exitCode = exitCodeFromStatus(status);
    } else if (result < 0) {
        // No such child any more (reaped elsewhere): it has ended, code unknown.
        process.ended = true;
        process.exitCode = static_cast<DWORD>(-1);
    }
    return process.ended;
}

using Clock = std::chrono::steady_clock;

bool pastDeadline(Clock::time_point start, DWORD milliseconds) {
    return milliseconds != INFINITE && Clock::now() - start >= std::chrono::milliseconds(milliseconds);
}

}  // namespace

namespace posix_layer {

HANDLE newProcessHandle(pid_t pid) {
    auto* process = new ProcessRecord{pid};
    std::lock_guard<std::mutex> lock(g_processesMutex);
    liveProcesses().insert(process);
    return process;
}

bool isProcessHandle(HANDLE handle) { return lookupProcess(handle) != nullptr; }

bool closeProcessHandle(HANDLE handle) {
    auto* candidate = static_cast<ProcessRecord*>(handle);
    {
        std::lock_guard<std::mutex> lock(g_processesMutex);
        if (liveProcesses().erase(candidate) == 0) return false;
    }
    // A child that has ended is reaped now; one still running is left to run.
    reap(*candidate, false);
    delete candidate;
    return true;
}

}  // namespace posix_layer

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    ProcessRecord* process = lookupProcess(hHandle);
    if (process == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    if (dwMilliseconds == INFINITE) {
        reap(*process, true);
        return WAIT_OBJECT_0;
    }
    const Clock::time_point start = Clock::now();
    while (!reap(*process, false)) {
        if (pastDeadline(start, dwMilliseconds)) return WAIT_TIMEOUT;
        std::this_thread::sleep_for(kPollInterval);
    }
    return WAIT_OBJECT_0;
}

// The queue is filled by this one thread only, so it cannot change while
// the handles are watched: a message is either waiting at the start or does
// not come.
DWORD MsgWaitForMultipleObjects(DWORD nCount, const HANDLE* pHandles, BOOL fWaitAll, DWORD dwMilliseconds,
                                DWORD dwWakeMask) {
    if (nCount > 0 && pHandles == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::vector<ProcessRecord*> processes;
    for (DWORD i = 0; i < nCount; ++i) {
        ProcessRecord* process = lookupProcess(pHandles[i]);
        if (process == nullptr) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        processes.push_back(process);
    }
    if ((dwWakeMask & QS_ALLINPUT) != 0 && posix_layer::hasQueuedMessage()) return WAIT_OBJECT_0 + nCount;
    if (nCount == 0 && dwMilliseconds == INFINITE) {
        SetLastError(ERROR_INVALID_PARAMETER);  // nothing could ever end the wait
        return WAIT_FAILED;
    }
    const Clock::time_point start = Clock::now();
    for (;;) {
        DWORD ended = 0;
        for (DWORD i = 0; i < nCount; ++i) {
            if (!reap(*processes[i], false)) continue;
            if (!fWaitAll) return WAIT_OBJECT_0 + i;
            ++ended;
        }
        if (fWaitAll && nCount > 0 && ended == nCount) return WAIT_OBJECT_0;
        if (pastDeadline(start, dwMilliseconds)) return WAIT_TIMEOUT;
        std::this_thread::sleep_for(kPollInterval);
    }
}

BOOL GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
    ProcessRecord* process = lookupProcess(hProcess);
    if (process == nullptr || lpExitCode == nullptr) {
        SetLastError(process == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    reap(*process, false);
    *lpExitCode = process->exitCode;
    return TRUE;
}
