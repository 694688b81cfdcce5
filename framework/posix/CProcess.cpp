#include "framework/CProcess.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "framework/CDesktop.h"
#include "framework/CLockFile.h"
#include "framework/CommandInterpreter.h"
#include "framework/posix/ScopedHandle.h"

extern char** environ;  // NOLINT(readability-redundant-declaration)

namespace {
// Where the program may be: the word itself when it names a folder, else each
// folder of PATH in turn (as the shell looks it up).
std::vector<std::string> ProgramCandidates(const std::string& program) {
    if (program.find('/') != std::string::npos) {
        return {program};
    }
    const char* path = std::getenv("PATH");
    const std::string folders = path != nullptr ? path : "/bin:/usr/bin";
    std::vector<std::string> candidates;
    std::size_t from = 0;
    for (;;) {
        const std::size_t colon = folders.find(':', from);
        const std::string folder = folders.substr(from, colon - from);
        candidates.push_back((folder.empty() ? std::string(".") : folder) + "/" + program);
        if (colon == std::string::npos) {
            return candidates;
        }
        from = colon + 1;
    }
}

// Every descriptor from 3 up is closed on exec, whatever flags it was opened with.
void CloseOthersOnExec() {
    if (::syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC) == 0) {
        return;
    }
    rlimit limit{};
    const rlim_t last =
        ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < 65536 ? limit.rlim_cur : 65536;
    for (int fd = 3; static_cast<rlim_t>(fd) < last; ++fd) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
}

// The child between fork and exec: only calls that are safe there. Reports
// why it could not start through report, which closes on exec.
[[noreturn]] void RunChild(pid_t parent, const char* currentDir, int errorOutput, int input,
                           int sharedLock, int report, const std::vector<std::string>& candidates,
                           char* const* argv) {
    const auto fail = [report](int error) {
        while (::write(report, &error, sizeof(error)) < 0 && errno == EINTR) {
        }
        ::_exit(127);
    };
    // Its own group, so that it is ended with whatever it starts; and it dies
    // with the tool, even when the tool is killed (the signal comes when the
    // thread that started it ends: the tool starts programs from its one
    // thread). The tool may already have died before the signal was asked for.
    ::setpgid(0, 0);
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent) {
        ::_exit(127);
    }
    if (currentDir != nullptr && ::chdir(currentDir) != 0) {
        fail(errno);
    }
    if ((input >= 0 && ::dup2(input, STDIN_FILENO) < 0) ||
        (errorOutput >= 0 && ::dup2(errorOutput, STDERR_FILENO) < 0)) {
        fail(errno);
    }
    CloseOthersOnExec();
    if (sharedLock >= 0 && ::fcntl(sharedLock, F_SETFD, 0) != 0) {
        fail(errno);
    }
    int error = ENOENT;
    for (const std::string& candidate : candidates) {
        ::execve(candidate.c_str(), argv, environ);
        // As the shell does: a program found but not runnable is the reason
        // given, unless a later folder holds one that runs.
        if (errno != ENOENT && errno != ENOTDIR) {
            error = errno;
        }
    }
    fail(error);
    ::_exit(127);
}

// Reads what is there without waiting; false once the writers are gone.
bool ReadAvailable(int fd, std::string& kept, std::size_t limit) {
    std::array<char, 4096> buffer{};
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got > 0) {
            const std::size_t room = limit > kept.size() ? limit - kept.size() : 0;
            kept.append(buffer.data(), std::min(room, static_cast<std::size_t>(got)));
            continue;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

int ExitStatus(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
}  // namespace

std::optional<CProcess> CProcess::Start(const CString& commandLine, const CString& currentDir,
                                        const StartOptions& options, long* osError) {
    const auto fail = [osError](int error) -> std::optional<CProcess> {
        if (osError != nullptr) {
            *osError = error;
        }
        return std::nullopt;
    };
    std::vector<std::string> words = SplitCommandLine(commandLine);
    if (words.empty() || words[0].empty()) {
        return fail(ENOENT);
    }
    // Everything the child needs is made before it exists: between fork and
    // exec nothing may allocate.
    const std::vector<std::string> candidates = ProgramCandidates(words[0]);
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    std::array<int, 2> errorFds{-1, -1};
    if (options.captureErrorOutput && ::pipe2(errorFds.data(), O_CLOEXEC) != 0) {
        return fail(errno);
    }
    ErrorPipe reader(errorFds[0]);
    // Descriptors the parent keeps only while it starts the child.
    const ScopedFd writer = OwnFd(errorFds[1]);
    if (options.captureErrorOutput) {
        // The reader is polled while the process runs and drained once it has ended.
        ::fcntl(errorFds[0], F_SETFL, ::fcntl(errorFds[0], F_GETFL) | O_NONBLOCK);
    }
    // The program asks nothing, and in a group of its own it must not read the
    // terminal (it would be stopped).
    const ScopedFd input = OwnFd(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    std::array<int, 2> reportFds{-1, -1};
    if (::pipe2(reportFds.data(), O_CLOEXEC) != 0) {
        return fail(errno);
    }
    const ScopedFd reportReader = OwnFd(reportFds[0]);
    ScopedFd reportWriter = OwnFd(reportFds[1]);
    const int sharedLock =
        options.sharedLock != nullptr ? static_cast<int>(options.sharedLock->m_handle) : -1;

    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        return fail(errno);
    }
    if (pid == 0) {
        RunChild(parent, currentDir.IsEmpty() ? nullptr : currentDir.GetString(),
                 writer.get().value, input.get().value, sharedLock, reportFds[1], candidates,
                 argv.data());
    }
    // Set from both sides, so that the group exists before either goes on.
    ::setpgid(pid, pid);
    reportWriter.reset();
    int error = 0;
    ssize_t got = 0;
    do {
        got = ::read(reportReader.get().value, &error, sizeof(error));
    } while (got < 0 && errno == EINTR);
    CProcess process(pid, pid, std::move(reader));
    if (got > 0) {
        process.Wait();  // it has ended already, unstarted
        return fail(error);
    }
    return process;
}

void CProcess::ErrorPipe::Close() {
    if (IsOpen()) {
        ::close(static_cast<int>(m_handle));
        m_handle = -1;
    }
}

void CProcess::End() noexcept {
    if (m_hProcess == kNoHandle) {
        return;
    }
    const auto pid = static_cast<pid_t>(std::exchange(m_hProcess, kNoHandle));
    // The whole group: the leader is not reaped yet, so its number still names it.
    ::kill(-static_cast<pid_t>(std::exchange(m_hGroup, kNoHandle)), SIGKILL);
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    m_errorPipe.Close();
}

int CProcess::Wait(CString& errorOutput, std::size_t limit, std::chrono::milliseconds timeLimit) {
    errorOutput.Empty();
    if (m_hProcess == kNoHandle) {
        return -1;
    }
    const auto pid = static_cast<pid_t>(m_hProcess);
    const auto start = std::chrono::steady_clock::now();
    std::string kept;
    // Read while waiting: a process that fills the pipe must never wait for us.
    // The window is served between waits, as during any long work.
    for (;;) {
        const std::optional<std::chrono::milliseconds> wait = NextWait(start, timeLimit);
        if (!wait) {
            End();
            errorOutput = CString(std::move(kept));
            return kTimedOut;
        }
        pollfd ready{static_cast<int>(m_errorPipe.get()), POLLIN, 0};
        ::poll(&ready, m_errorPipe.IsOpen() ? 1 : 0, static_cast<int>(wait->count()));
        Desktop().ServeWindow();
        if (m_errorPipe.IsOpen() &&
            !ReadAvailable(static_cast<int>(m_errorPipe.get()), kept, limit)) {
            m_errorPipe.Close();  // every writer is gone
        }
        // Looked at without reaping: while it is not reaped, its number still
        // names its group.
        siginfo_t info{};
        int result = 0;
        do {
            result = ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT);
        } while (result < 0 && errno == EINTR);
        if (result < 0 || info.si_pid == pid) {
            break;
        }
    }
    // Ended: take what it left in the pipe. What it started and left running
    // is ended with the rest of its group.
    if (m_errorPipe.IsOpen()) {
        ReadAvailable(static_cast<int>(m_errorPipe.get()), kept, limit);
    }
    m_hProcess = kNoHandle;
    ::kill(-static_cast<pid_t>(std::exchange(m_hGroup, kNoHandle)), SIGKILL);
    int status = 0;
    pid_t result = 0;
    do {
        result = ::waitpid(pid, &status, 0);
    } while (result < 0 && errno == EINTR);
    m_errorPipe.Close();
    errorOutput = CString(std::move(kept));
    return result < 0 ? -1 : ExitStatus(status);
}
