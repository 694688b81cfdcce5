#include "framework/CProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <strings.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <string>
#include <vector>

#include "framework/posix/CommandInterpreter.h"

extern char** environ;  // NOLINT(readability-redundant-declaration)

namespace {
// How often a process with captured output is looked at while it runs.
constexpr int kPollMs = 50;

class SpawnActions {
  public:
    SpawnActions() { ::posix_spawn_file_actions_init(&m_actions); }
    ~SpawnActions() { ::posix_spawn_file_actions_destroy(&m_actions); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t* get() { return &m_actions; }

  private:
    posix_spawn_file_actions_t m_actions{};
};

// One end of a pipe that the parent keeps only until the child has it.
class WritingEnd {
  public:
    explicit WritingEnd(int fd) : m_fd(fd) {}
    ~WritingEnd() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    WritingEnd(const WritingEnd&) = delete;
    WritingEnd& operator=(const WritingEnd&) = delete;
    [[nodiscard]] int get() const { return m_fd; }

  private:
    int m_fd;
};

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

std::vector<std::string> SplitCommandLine(const CString& commandLine) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (const char ch : commandLine.str()) {
        if (ch == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (ch == ' ' || ch == '\t')) {
            if (inWord) {
                words.push_back(std::move(word));
                word.clear();
                inWord = false;
            }
        } else {
            word += ch;
            inWord = true;
        }
    }
    if (inWord) {
        words.push_back(std::move(word));
    }
    if (words.size() >= 2 && ::strcasecmp(words[0].c_str(), "COMMAND.COM") == 0 &&
        ::strcasecmp(words[1].c_str(), "/C") == 0) {
        words.erase(words.begin(), words.begin() + 2);
    }
    return words;
}

std::optional<CProcess> CProcess::Start(const CString& commandLine, const CString& currentDir,
                                        bool captureErrorOutput, long* osError) {
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
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    SpawnActions actions;
    if (!currentDir.IsEmpty()) {
        if (const int error =
                ::posix_spawn_file_actions_addchdir_np(actions.get(), currentDir.GetString());
            error != 0) {
            return fail(error);
        }
    }
    std::array<int, 2> pipeFds{-1, -1};
    if (captureErrorOutput) {
        if (::pipe2(pipeFds.data(), O_CLOEXEC) != 0) {
            return fail(errno);
        }
    }
    ErrorPipe reader(pipeFds[0]);
    const WritingEnd writer(pipeFds[1]);
    if (captureErrorOutput) {
        // The reader is polled while the process runs and drained once it has ended.
        ::fcntl(pipeFds[0], F_SETFL, ::fcntl(pipeFds[0], F_GETFL) | O_NONBLOCK);
        ::posix_spawn_file_actions_adddup2(actions.get(), pipeFds[1], STDERR_FILENO);
    }
    pid_t pid = -1;
    if (const int error =
            ::posix_spawnp(&pid, argv[0], actions.get(), nullptr, argv.data(), environ);
        error != 0) {
        return fail(error);
    }
    return CProcess(pid, std::move(reader));
}

void CProcess::ErrorPipe::Close() {
    if (IsOpen()) {
        ::close(static_cast<int>(m_handle));
        m_handle = -1;
    }
}

int CProcess::Wait(CString& errorOutput, std::size_t limit) {
    errorOutput.Empty();
    if (m_hProcess == kNoHandle) {
        return -1;
    }
    const auto pid = static_cast<pid_t>(m_hProcess);
    m_hProcess = kNoHandle;
    std::string kept;
    int status = 0;
    pid_t result = 0;
    // Read while waiting: a process that fills the pipe must never wait for us.
    while (m_errorPipe.IsOpen()) {
        pollfd ready{static_cast<int>(m_errorPipe.get()), POLLIN, 0};
        ::poll(&ready, 1, kPollMs);
        if (!ReadAvailable(static_cast<int>(m_errorPipe.get()), kept, limit)) {
            m_errorPipe.Close();  // every writer is gone
        }
        do {
            result = ::waitpid(pid, &status, WNOHANG);
        } while (result < 0 && errno == EINTR);
        if (result != 0) {
            // Ended: take what it left in the pipe. Something it started may
            // still hold the pipe open; that is not waited for.
            if (m_errorPipe.IsOpen()) {
                ReadAvailable(static_cast<int>(m_errorPipe.get()), kept, limit);
                m_errorPipe.Close();
            }
            errorOutput = CString(std::move(kept));
            return result < 0 ? -1 : ExitStatus(status);
        }
    }
    do {
        result = ::waitpid(pid, &status, 0);
    } while (result < 0 && errno == EINTR);
    errorOutput = CString(std::move(kept));
    return result < 0 ? -1 : ExitStatus(status);
}
