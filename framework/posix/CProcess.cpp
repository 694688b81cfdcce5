#include "framework/CProcess.h"

#include <spawn.h>
#include <strings.h>
#include <sys/wait.h>

#include <cerrno>
#include <string>
#include <vector>

extern char** environ;  // NOLINT(readability-redundant-declaration)

namespace {
// The command interpreter's stand-in: "COMMAND.COM /C prog args" runs prog with
// args, split at blanks, directly and without a shell.
std::vector<std::string> SplitCommandLine(const CString& commandLine) {
    std::vector<std::string> words;
    std::string word;
    for (const char ch : commandLine.str()) {
        if (ch == ' ') {
            if (!word.empty()) {
                words.push_back(std::move(word));
                word.clear();
            }
        } else {
            word += ch;
        }
    }
    if (!word.empty()) {
        words.push_back(std::move(word));
    }
    if (words.size() >= 2 && ::strcasecmp(words[0].c_str(), "COMMAND.COM") == 0 &&
        ::strcasecmp(words[1].c_str(), "/C") == 0) {
        words.erase(words.begin(), words.begin() + 2);
    }
    return words;
}

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
}  // namespace

std::optional<CProcess> CProcess::Start(const CString& commandLine, const CString& currentDir) {
    std::vector<std::string> words = SplitCommandLine(commandLine);
    if (words.empty()) {
        return std::nullopt;
    }
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    SpawnActions actions;
    if (!currentDir.IsEmpty() &&
        ::posix_spawn_file_actions_addchdir_np(actions.get(), currentDir.GetString()) != 0) {
        return std::nullopt;
    }
    pid_t pid = -1;
    if (::posix_spawnp(&pid, argv[0], actions.get(), nullptr, argv.data(), environ) != 0) {
        return std::nullopt;
    }
    return CProcess(pid);
}

CProcess::CProcess(CProcess&& other) noexcept : m_id(other.m_id) {
    other.m_id = -1;
}

CProcess& CProcess::operator=(CProcess&& other) noexcept {
    if (this != &other) {
        Wait();
        m_id = other.m_id;
        other.m_id = -1;
    }
    return *this;
}

CProcess::~CProcess() {
    Wait();
}

int CProcess::Wait() {
    if (m_id < 0) {
        return -1;
    }
    int status = 0;
    pid_t result = 0;
    do {
        result = ::waitpid(static_cast<pid_t>(m_id), &status, 0);
    } while (result < 0 && errno == EINTR);
    m_id = -1;
    if (result < 0 || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}
