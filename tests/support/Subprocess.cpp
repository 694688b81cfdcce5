#include "tests/support/Subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <fstream>
#include <stdexcept>

extern char** environ;  // NOLINT(readability-redundant-declaration)

namespace {
// One end of a pipe, closed once.
class PipeEnd {
  public:
    explicit PipeEnd(int fd) : m_fd(fd) {}
    ~PipeEnd() { Close(); }
    PipeEnd(const PipeEnd&) = delete;
    PipeEnd& operator=(const PipeEnd&) = delete;
    [[nodiscard]] int get() const { return m_fd; }
    void Close() {
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }

  private:
    int m_fd;
};
}  // namespace

SubprocessResult RunSubprocess(const std::vector<std::string>& argv,
                               const SubprocessOptions& options) {
    std::array<int, 2> pipeFds{};
    // Close-on-exec: a child started meanwhile from another thread must not
    // hold this pipe open.
    if (::pipe2(pipeFds.data(), O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    PipeEnd reader(pipeFds[0]);
    PipeEnd writer(pipeFds[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (!options.workingDir.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, options.workingDir.c_str());
    }
    std::map<std::string, std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text(*entry);
        const auto eq = text.find('=');
        env[text.substr(0, eq)] = eq == std::string::npos ? "" : text.substr(eq + 1);
    }
    for (const auto& [key, value] : options.env) {
        env[key] = value;
    }
    std::vector<std::string> envText;
    for (const auto& [key, value] : env) {
        envText.push_back(key + "=" + value);
    }
    std::vector<char*> envp;
    for (std::string& text : envText) {
        envp.push_back(text.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (std::string& arg : args) {
        argp.push_back(arg.data());
    }
    argp.push_back(nullptr);

    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    writer.Close();
    if (spawned != 0) {
        throw std::runtime_error("cannot start " + argv[0]);
    }
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    auto elapsed = [&start] { return std::chrono::duration<double>(Clock::now() - start).count(); };
    SubprocessResult result;
    bool signalled = false;
    double markerSeenAt = -1;
    std::array<char, 4096> buffer{};
    for (;;) {
        if (!result.timedOut && elapsed() > options.secondsAllowed) {
            ::kill(pid, SIGKILL);  // the pipe closes with it (unless a child keeps it)
            result.timedOut = true;
        }
        if (!signalled && markerSeenAt >= 0 &&
            elapsed() >= markerSeenAt + options.signalAfterSeconds) {
            ::kill(pid, options.signal);
            signalled = true;
        }
        pollfd fd{reader.get(), POLLIN, 0};
        ::poll(&fd, 1, 20);
        if ((fd.revents & (POLLIN | POLLHUP)) == 0) {
            continue;
        }
        const ssize_t got = ::read(reader.get(), buffer.data(), buffer.size());
        if (got <= 0) {
            break;
        }
        result.output.append(buffer.data(), static_cast<std::size_t>(got));
        if (markerSeenAt < 0 && !options.signalOnOutput.empty() &&
            result.output.find(options.signalOnOutput) != std::string::npos) {
            markerSeenAt = elapsed();
            if (options.signalAfterSeconds <= 0) {
                ::kill(pid, options.signal);
                signalled = true;
            }
        }
        if (options.onOutput) {
            options.onOutput(result.output);
        }
    }
    reader.Close();
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    result.peakKiB = usage.ru_maxrss;
    result.seconds = elapsed();
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.endSignal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return result;
}

bool IsAlive(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string skipped;
    std::string state;
    std::getline(stat, skipped, ')');
    stat >> state;
    return !state.empty() && state != "Z" && state != "X";
}
