// Shell: launching a program (detached, or as a child to be waited for),
// and the message box on standard error.
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/posix/PosixLayer.h"

namespace {

// ShellExecuteA's result on success: any value above 32.
constexpr intptr_t kShellExecuteSuccess = 42;
constexpr const char* kShell = "/bin/sh";

HINSTANCE shellResult(intptr_t code) { return reinterpret_cast<HINSTANCE>(code); }

bool isRegularFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool isDirectory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string absolutePath(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    char* cwd = ::getcwd(nullptr, 0);
    if (cwd == nullptr) return path;
    std::string joined = std::string(cwd) + "/" + path;
    std::free(cwd);
    return joined;
}

std::string searchPath(const std::string& name) {
    const char* pathVariable = std::getenv("PATH");
    if (pathVariable == nullptr) return std::string();
    std::string list(pathVariable);
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(':', start);
        if (end == std::string::npos) end = list.size();
        const std::string dir = end > start ? list.substr(start, end - start) : ".";
        const std::string candidate = dir + "/" + name;
        if (isRegularFile(candidate) && ::access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return std::string();
}

// The program file: an absolute path as given; a relative one against the
// current directory, then against the launch directory, then (a bare name)
// along PATH. Empty when none exists.
std::string resolveProgram(const std::string& program, const std::string& directory) {
    if (!program.empty() && program[0] == '/') return isRegularFile(program) ? program : std::string();
    if (isRegularFile(program)) return absolutePath(program);
    if (!directory.empty()) {
        const std::string inDirectory = absolutePath(directory) + "/" + program;
        if (isRegularFile(inDirectory)) return inDirectory;
    }
    if (program.find('/') == std::string::npos) return searchPath(program);
    return std::string();
}

intptr_t shellErrorFromErrno(int error) {
    switch (error) {
        case ENOENT: return SE_ERR_FNF;
        case ENOTDIR: return SE_ERR_PNF;
        case EACCES:
        case EPERM: return SE_ERR_ACCESSDENIED;
        case ENOMEM: return SE_ERR_OOM;
        case ENOEXEC: return ERROR_BAD_FORMAT;
        default: return SE_ERR_NOASSOC;
    }
}

// The error ShellExecuteExA sets for a failure code of ShellExecuteA.
DWORD win32ErrorFromShellResult(intptr_t result) {
    switch (result) {
        case SE_ERR_FNF: return ERROR_FILE_NOT_FOUND;
        case SE_ERR_PNF: return ERROR_PATH_NOT_FOUND;
        case SE_ERR_ACCESSDENIED: return ERROR_ACCESS_DENIED;
        case SE_ERR_OOM: return ERROR_NOT_ENOUGH_MEMORY;
        case ERROR_BAD_FORMAT: return ERROR_BAD_EXE_FORMAT;
        default: return ERROR_NO_ASSOCIATION;
    }
}

std::vector<char*> argvOf(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    return argv;
}

// In the child: enters the directory and executes argv. Reaching the end
// means a step failed: its errno goes down the report pipe.
[[noreturn]] void execInDirectory(const std::vector<char*>& argv, const std::string& directory,
                                  int reportFd) {
    int error = 0;
    if (!directory.empty() && ::chdir(directory.c_str()) != 0) {
        error = errno;
    } else {
        ::execv(argv[0], argv.data());
        error = errno;
    }
    ssize_t ignored = ::write(reportFd, &error, sizeof error);
    (void)ignored;
    ::_exit(127);
}

// The errno the child reported, or 0 when the pipe closed without one (the
// exec succeeded). Closes the reading end.
int readReport(int reportFd, bool& reported) {
    int error = 0;
    ssize_t got;
    while ((got = ::read(reportFd, &error, sizeof error)) < 0 && errno == EINTR) {}
    ::close(reportFd);
    reported = got == static_cast<ssize_t>(sizeof error);
    return reported ? error : 0;
}

void reap(pid_t child, int& status) {
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {}
}

// Forks with a close-on-exec report pipe: in the child (0) report[1] is the
// writing end; in the parent report[0] the reading end. -1 with errno on
// failure.
pid_t forkWithReport(int report[2]) {
    if (::pipe2(report, O_CLOEXEC) != 0) return -1;
    const pid_t child = ::fork();
    if (child < 0) {
        const int error = errno;
        ::close(report[0]);
        ::close(report[1]);
        errno = error;
        return -1;
    }
    ::close(child == 0 ? report[0] : report[1]);
    return child;
}

// Runs argv in directory as a grandchild in a session of its own, so that it
// outlives us and is never our zombie. Returns 0 when the program started,
// else the errno of the failed step. A close-on-exec pipe tells the two
// apart: it closes silently on a successful exec, or carries the errno.
int spawnDetached(const std::vector<std::string>& arguments, const std::string& directory) {
    const std::vector<char*> argv = argvOf(arguments);
    int report[2];
    const pid_t child = forkWithReport(report);
    if (child < 0) return errno;
    if (child == 0) {
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild != 0) ::_exit(grandchild < 0 ? 1 : 0);
        execInDirectory(argv, directory, report[1]);
    }
    int status = 0;
    reap(child, status);
    bool reported = false;
    const int error = readReport(report[0], reported);
    if (reported) return error;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return ECHILD;
    return 0;
}

// Runs argv in directory as our own child, to be waited for. Returns 0 and
// the child's pid when the program started, else the errno of the failed
// step (the child is then reaped). The close-on-exec pipe works as in
// spawnDetached.
int spawnAttached(const std::vector<std::string>& arguments, const std::string& directory, pid_t& pid) {
    const std::vector<char*> argv = argvOf(arguments);
    int report[2];
    const pid_t child = forkWithReport(report);
    if (child < 0) return errno;
    if (child == 0) execInDirectory(argv, directory, report[1]);
    bool reported = false;
    const int error = readReport(report[0], reported);
    if (reported) {
        int status = 0;
        reap(child, status);
        return error;
    }
    pid = child;
    return 0;
}

// The argument vector for a launch: the program found as resolveProgram
// finds it (through the POSIX shell when it lacks the execute bit) and the
// parameters split like a Windows command line. 0 when it can be started,
// else the ShellExecuteA failure code.
intptr_t prepareLaunch(LPCSTR operation, LPCSTR file, LPCSTR parameters, LPCSTR directoryText,
                       std::vector<std::string>& arguments, std::string& directory) {
    if (operation != nullptr && ::strcasecmp(operation, "open") != 0) return SE_ERR_NOASSOC;
    if (file == nullptr || *file == 0) return SE_ERR_FNF;
    directory = (directoryText != nullptr && *directoryText != 0) ? posix_layer::toNativePath(directoryText)
                                                                  : std::string();
    if (!directory.empty() && !isDirectory(directory)) return SE_ERR_PNF;

    const std::string program = resolveProgram(posix_layer::toNativePath(file), directory);
    if (program.empty()) return SE_ERR_FNF;
    // A file without the execute bit is taken for a script of the POSIX shell.
    if (::access(program.c_str(), X_OK) != 0) arguments.push_back(kShell);
    arguments.push_back(program);
    for (std::string& parameter : posix_layer::splitCommandLine(parameters)) {
        arguments.push_back(std::move(parameter));
    }
    return 0;
}

}  // namespace

namespace posix_layer {

std::vector<std::string> splitCommandLine(const char* parameters) {
    std::vector<std::string> arguments;
    if (parameters == nullptr) return arguments;
    const char* p = parameters;
    for (;;) {
        while (*p == ' ' || *p == '\t') ++p;
        if (*p == 0) break;
        std::string argument;
        bool quoted = false;
        while (*p != 0 && (quoted || (*p != ' ' && *p != '\t'))) {
            size_t backslashes = 0;
            while (*p == '\\') ++backslashes, ++p;
            if (*p == '"') {
                argument.append(backslashes / 2, '\\');
                if (backslashes % 2 == 1) {
                    argument += '"';
                    ++p;
                } else if (quoted && p[1] == '"') {
                    argument += '"';
                    p += 2;
                } else {
                    quoted = !quoted;
                    ++p;
                }
            } else {
                argument.append(backslashes, '\\');
                if (*p != 0 && (quoted || (*p != ' ' && *p != '\t'))) argument += *p++;
            }
        }
        arguments.push_back(argument);
    }
    return arguments;
}

}  // namespace posix_layer

HINSTANCE ShellExecuteA(HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters, LPCSTR lpDirectory,
                        INT nShowCmd) {
    (void)hwnd;
    (void)nShowCmd;
    std::vector<std::string> arguments;
    std::string directory;
    const intptr_t refused =
        prepareLaunch(lpOperation, lpFile, lpParameters, lpDirectory, arguments, directory);
    if (refused != 0) return shellResult(refused);
    const int error = spawnDetached(arguments, directory);
    if (error != 0) return shellResult(shellErrorFromErrno(error));
    return shellResult(kShellExecuteSuccess);
}

// With SEE_MASK_NOCLOSEPROCESS the program is our child and hProcess a
// handle to wait for it with; without, it starts detached as with
// ShellExecuteA and hProcess is null.
BOOL ShellExecuteExA(SHELLEXECUTEINFOA* pExecInfo) {
    if (pExecInfo == nullptr || pExecInfo->cbSize != sizeof(SHELLEXECUTEINFOA)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    pExecInfo->hProcess = nullptr;
    std::vector<std::string> arguments;
    std::string directory;
    intptr_t result = prepareLaunch(pExecInfo->lpVerb, pExecInfo->lpFile, pExecInfo->lpParameters,
                                    pExecInfo->lpDirectory, arguments, directory);
    if (result == 0) {
        int error = 0;
        if ((pExecInfo->fMask & SEE_MASK_NOCLOSEPROCESS) != 0) {
            pid_t pid = 0;
            error = spawnAttached(arguments, directory, pid);
            if (error == 0) pExecInfo->hProcess = posix_layer::newProcessHandle(pid);
        } else {
            error = spawnDetached(arguments, directory);
        }
        result = error != 0 ? shellErrorFromErrno(error) : kShellExecuteSuccess;
    }
    pExecInfo->hInstApp = shellResult(result);
    if (result != kShellExecuteSuccess) {
        SetLastError(win32ErrorFromShellResult(result));
        return FALSE;
    }
    return TRUE;
}

int MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    (void)hWnd;
    (void)uType;
    std::fprintf(stderr, "%s: %s\n", lpCaption != nullptr ? lpCaption : "Error",
                 lpText != nullptr ? lpText : "");
    std::fflush(stderr);
    return IDOK;
}
