// Shell: launching a program detached, and the message box on standard
// error.
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

// Runs argv in directory as a grandchild in a session of its own, so that it
// outlives us and is never our zombie. Returns 0 when the program started,
// else the errno of the failed step. A close-on-exec pipe tells the two
// apart: it closes silently on a successful exec, or carries the errno.
int spawnDetached(const std::vector<std::string>& arguments, const std::string& directory) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return errno;
  const pid_t child = ::fork();
  if (child < 0) {
    const int error = errno;
    ::close(report[0]);
    ::close(report[1]);
    return error;
  }
  if (child == 0) {
    ::close(report[0]);
    ::setsid();
    const pid_t grandchild = ::fork();
    if (grandchild != 0) ::_exit(grandchild < 0 ? 1 : 0);
    int error = 0;
    if (!directory.empty() && ::chdir(directory.c_str()) != 0) {
      error = errno;
    } else {
      ::execv(argv[0], argv.data());
      error = errno;
    }
    ssize_t ignored = ::write(report[1], &error, sizeof error);
    (void)ignored;
    ::_exit(127);
  }
  ::close(report[1]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int error = 0;
  ssize_t got;
  while ((got = ::read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
  }
  ::close(report[0]);
  if (got == static_cast<ssize_t>(sizeof error)) return error;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return ECHILD;
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

HINSTANCE ShellExecuteA(HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters,
                        LPCSTR lpDirectory, INT nShowCmd) {
  (void)hwnd;
  (void)nShowCmd;
  if (lpOperation != nullptr && ::strcasecmp(lpOperation, "open") != 0) {
    return shellResult(SE_ERR_NOASSOC);
  }
  if (lpFile == nullptr || *lpFile == 0) return shellResult(SE_ERR_FNF);
  const std::string directory =
      (lpDirectory != nullptr && *lpDirectory != 0) ? posix_layer::toNativePath(lpDirectory) : std::string();
  if (!directory.empty() && !isDirectory(directory)) return shellResult(SE_ERR_PNF);

  const std::string program = resolveProgram(posix_layer::toNativePath(lpFile), directory);
  if (program.empty()) return shellResult(SE_ERR_FNF);
  std::vector<std::string> arguments;
  // A file without the execute bit is taken for a script of the POSIX shell.
  if (::access(program.c_str(), X_OK) != 0) arguments.push_back(kShell);
  arguments.push_back(program);
  for (std::string& parameter : posix_layer::splitCommandLine(lpParameters)) {
    arguments.push_back(std::move(parameter));
  }
  const int error = spawnDetached(arguments, directory);
  if (error != 0) return shellResult(shellErrorFromErrno(error));
  return shellResult(kShellExecuteSuccess);
}

int MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
  (void)hWnd;
  (void)uType;
  std::fprintf(stderr, "%s: %s\n", lpCaption != nullptr ? lpCaption : "Error",
               lpText != nullptr ? lpText : "");
  std::fflush(stderr);
  return IDOK;
}
