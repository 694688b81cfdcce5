#include "framework/CProcess.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "framework/win32/WinApi.h"

namespace {
// How often a process with captured output is looked at while it runs.
constexpr DWORD kPollMs = 50;
constexpr const char* kDosInterpreter = "COMMAND.COM";

HANDLE AsHandle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);  // NOLINT(performance-no-int-to-ptr)
}

std::intptr_t FromHandle(HANDLE handle) {
    return reinterpret_cast<std::intptr_t>(handle);
}

// A handle the parent keeps only until the child has it.
class OwnedHandle {
  public:
    explicit OwnedHandle(HANDLE handle = nullptr) : m_handle(handle) {}
    ~OwnedHandle() {
        if (m_handle != nullptr) {
            ::CloseHandle(m_handle);
        }
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    [[nodiscard]] HANDLE get() const { return m_handle; }
    HANDLE* out() { return &m_handle; }
    HANDLE release() {
        const HANDLE handle = m_handle;
        m_handle = nullptr;
        return handle;
    }

  private:
    HANDLE m_handle;
};

// Whether the line names the DOS command interpreter as its program.
bool StartsWithDosInterpreter(const std::string& line) {
    const std::string name = kDosInterpreter;
    if (line.size() < name.size() ||
        (line.size() > name.size() && line[name.size()] != ' ' && line[name.size()] != '\t')) {
        return false;
    }
    return std::equal(name.begin(), name.end(), line.begin(), [](char a, char b) {
        return std::toupper(static_cast<unsigned char>(a)) ==
               std::toupper(static_cast<unsigned char>(b));
    });
}

// The system's command interpreter: the one COMSPEC names, else cmd.exe in the
// system directory.
std::string SystemInterpreter() {
    std::array<char, MAX_PATH + 1> buffer{};
    DWORD length = ::GetEnvironmentVariableA("COMSPEC", buffer.data(), buffer.size());
    if (length > 0 && length < buffer.size()) {
        return std::string(buffer.data(), length);
    }
    length = ::GetSystemDirectoryA(buffer.data(), buffer.size());
    if (length == 0 || length >= buffer.size()) {
        return "cmd.exe";
    }
    return std::string(buffer.data(), length) + "\\cmd.exe";
}

// The same line for the system's interpreter: its /C takes the first and the
// last quote off what follows, so the rest is wrapped in one more pair.
std::string WithSystemInterpreter(const std::string& line) {
    std::size_t rest = line.find_first_not_of(" \t", std::string(kDosInterpreter).size());
    std::string switchPart;
    if (rest != std::string::npos && line.size() >= rest + 2 && line[rest] == '/' &&
        (line[rest + 1] == 'C' || line[rest + 1] == 'c')) {
        switchPart = line.substr(rest, 2);
        rest = line.find_first_not_of(" \t", rest + 2);
    }
    std::string result = "\"";
    result += SystemInterpreter();
    result += "\" ";
    result += switchPart;
    result += " \"";
    if (rest != std::string::npos) {
        result += line.substr(rest);
    }
    result += '"';
    return result;
}

bool CreateChild(const std::string& line, const CString& currentDir, bool inherit,
                 STARTUPINFOA& startup, PROCESS_INFORMATION& info) {
    std::vector<char> mutableLine(line.begin(), line.end());
    mutableLine.push_back('\0');
    return ::CreateProcessA(nullptr, mutableLine.data(), nullptr, nullptr, inherit ? TRUE : FALSE,
                            CREATE_NO_WINDOW, nullptr,
                            currentDir.IsEmpty() ? nullptr : currentDir.GetString(), &startup,
                            &info) != FALSE;
}

// Reads what is there without waiting; false once the writers are gone.
bool ReadAvailable(HANDLE pipe, std::string& kept, std::size_t limit) {
    std::array<char, 4096> buffer{};
    for (;;) {
        DWORD available = 0;
        if (::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) == FALSE) {
            return false;
        }
        if (available == 0) {
            return true;
        }
        DWORD got = 0;
        const DWORD want = std::min<DWORD>(available, buffer.size());
        if (::ReadFile(pipe, buffer.data(), want, &got, nullptr) == FALSE || got == 0) {
            return false;
        }
        const std::size_t room = limit > kept.size() ? limit - kept.size() : 0;
        kept.append(buffer.data(), std::min<std::size_t>(room, got));
    }
}
}  // namespace

std::optional<CProcess> CProcess::Start(const CString& commandLine, const CString& currentDir,
                                        bool captureErrorOutput, long* osError) {
    const auto fail = [osError](DWORD error) -> std::optional<CProcess> {
        if (osError != nullptr) {
            *osError = static_cast<long>(error);
        }
        return std::nullopt;
    };
    if (commandLine.IsEmpty()) {
        return fail(ERROR_FILE_NOT_FOUND);
    }
    OwnedHandle reader;
    OwnedHandle writer;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    if (captureErrorOutput) {
        SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        if (::CreatePipe(reader.out(), writer.out(), &inheritable, 0) == FALSE) {
            return fail(::GetLastError());
        }
        // Only the writing end goes to the child.
        ::SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
        startup.hStdError = writer.get();
    }
    PROCESS_INFORMATION info{};
    const std::string& line = commandLine.str();
    bool started = CreateChild(line, currentDir, captureErrorOutput, startup, info);
    // COMMAND.COM exists only on systems that still run DOS programs; elsewhere
    // the same line goes to the system's own interpreter.
    if (!started && ::GetLastError() == ERROR_FILE_NOT_FOUND && StartsWithDosInterpreter(line)) {
        started =
            CreateChild(WithSystemInterpreter(line), currentDir, captureErrorOutput, startup, info);
    }
    if (!started) {
        return fail(::GetLastError());
    }
    ::CloseHandle(info.hThread);
    return CProcess(FromHandle(info.hProcess), ErrorPipe(FromHandle(reader.release())));
}

void CProcess::ErrorPipe::Close() {
    if (IsOpen()) {
        ::CloseHandle(AsHandle(m_handle));
        m_handle = -1;
    }
}

int CProcess::Wait(CString& errorOutput, std::size_t limit) {
    errorOutput.Empty();
    if (m_hProcess == kNoHandle) {
        return -1;
    }
    const OwnedHandle process(AsHandle(m_hProcess));
    m_hProcess = kNoHandle;
    std::string kept;
    // Read while waiting: a process that fills the pipe must never wait for us.
    while (m_errorPipe.IsOpen()) {
        const DWORD state = ::WaitForSingleObject(process.get(), kPollMs);
        if (!ReadAvailable(AsHandle(m_errorPipe.get()), kept, limit)) {
            m_errorPipe.Close();  // every writer is gone
        }
        if (state != WAIT_TIMEOUT) {
            // Ended: what it left in the pipe has been taken. Something it
            // started may still hold the pipe open; that is not waited for.
            m_errorPipe.Close();
        }
    }
    ::WaitForSingleObject(process.get(), INFINITE);
    errorOutput = CString(std::move(kept));
    DWORD code = 0;
    if (::GetExitCodeProcess(process.get(), &code) == FALSE) {
        return -1;
    }
    return static_cast<int>(code);
}
