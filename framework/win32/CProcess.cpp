#include "framework/CProcess.h"

#include <algorithm>
#include <array>
#include <string>
#include <utility>
#include <vector>

#include "framework/CDesktop.h"
#include "framework/CLockFile.h"
#include "framework/CommandInterpreter.h"
#include "framework/Kernel.h"
#include "framework/win32/ScopedHandle.h"
#include "framework/win32/WideText.h"
#include "framework/win32/WinApi.h"

namespace {
// The exit code of what is ended before it has ended by itself.
constexpr UINT kEndedCode = 1;
// How long an ended process may take to go.
constexpr DWORD kEndMs = 10000;

HANDLE AsHandle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);  // NOLINT(performance-no-int-to-ptr)
}

std::intptr_t FromHandle(HANDLE handle) {
    return reinterpret_cast<std::intptr_t>(handle);
}

// One argument as the C runtime of the started program takes it apart again:
// quoted when it holds a blank or a quote, backslashes doubled where they come
// before a quote.
void AppendArgument(std::wstring& line, const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += argument;
        return;
    }
    line += L'"';
    std::size_t backslashes = 0;
    for (const wchar_t ch : argument) {
        if (ch == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(ch == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        line += ch;
    }
    line.append(2 * backslashes, L'\\');
    line += L'"';
}

// The program and the line it is started with. A program named with a folder
// is that file (a relative one inside currentDir, where it starts); a bare name
// is looked for as the system looks for programs.
struct ChildCommand {
    std::wstring program;
    std::wstring line;
};

ChildCommand MakeChildCommand(const std::vector<std::string>& words, const CString& currentDir) {
    ChildCommand command;
    const std::string& first = words.front();
    if (first.find_first_of("\\/:") != std::string::npos) {
        const bool absolute =
            first.front() == '\\' || first.front() == '/' || (first.size() > 1 && first[1] == ':');
        command.program = Widened(
            absolute || currentDir.IsEmpty() ? first : PathJoin(currentDir, first.c_str()).str());
    }
    // The program's own name is read without escapes: quoted whole (a file
    // name holds no quote).
    command.line = L'"' + Widened(first) + L'"';
    for (std::size_t i = 1; i < words.size(); ++i) {
        command.line += L' ';
        AppendArgument(command.line, Widened(words[i]));
    }
    return command;
}

// The handles a child may inherit, and no others: the list is handed to the
// system with the child's start.
class InheritedHandles {
  public:
    InheritedHandles() = default;
    ~InheritedHandles() {
        if (m_list != nullptr) {
            ::DeleteProcThreadAttributeList(m_list);
        }
    }
    InheritedHandles(const InheritedHandles&) = delete;
    InheritedHandles& operator=(const InheritedHandles&) = delete;

    // Only real, inheritable handles, each once.
    void Add(HANDLE handle) {
        DWORD flags = 0;
        if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
            std::find(m_handles.begin(), m_handles.end(), handle) != m_handles.end() ||
            ::GetHandleInformation(handle, &flags) == FALSE || (flags & HANDLE_FLAG_INHERIT) == 0) {
            return;
        }
        m_handles.push_back(handle);
    }
    [[nodiscard]] bool IsEmpty() const { return m_handles.empty(); }
    // The attribute list naming them; nullptr (and the system's error) when it cannot be made.
    LPPROC_THREAD_ATTRIBUTE_LIST List() {
        SIZE_T size = 0;
        ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        m_storage.resize(size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(m_storage.data());
        if (::InitializeProcThreadAttributeList(list, 1, 0, &size) == FALSE) {
            return nullptr;
        }
        m_list = list;
        if (::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                        m_handles.data(), m_handles.size() * sizeof(HANDLE),
                                        nullptr, nullptr) == FALSE) {
            return nullptr;
        }
        return list;
    }

  private:
    std::vector<HANDLE> m_handles;
    std::vector<char> m_storage;
    LPPROC_THREAD_ATTRIBUTE_LIST m_list = nullptr;
};

// Started suspended: it runs only once it is in its job.
bool CreateChild(ChildCommand& command, const CString& currentDir,
                 LPPROC_THREAD_ATTRIBUTE_LIST inherited, STARTUPINFOEXW& startup,
                 PROCESS_INFORMATION& info) {
    DWORD flags = CREATE_NO_WINDOW | CREATE_SUSPENDED;
    startup.lpAttributeList = inherited;
    if (inherited != nullptr) {
        flags |= EXTENDED_STARTUPINFO_PRESENT;
        startup.StartupInfo.cb = sizeof(startup);
    } else {
        startup.StartupInfo.cb = sizeof(startup.StartupInfo);
    }
    const std::wstring directory = Widened(currentDir.str());
    return ::CreateProcessW(command.program.empty() ? nullptr : command.program.c_str(),
                            command.line.data(), nullptr, nullptr,
                            inherited != nullptr ? TRUE : FALSE, flags, nullptr,
                            directory.empty() ? nullptr : directory.c_str(), &startup.StartupInfo,
                            &info) != FALSE;
}

// A job whose processes all end when its last handle closes: the tool holds
// the only one, so they end with the tool, however it ends.
HANDLE MakeJob() {
    const HANDLE job = ::CreateJobObjectW(nullptr, nullptr);
    if (job == nullptr) {
        return nullptr;
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits,
                                  sizeof(limits)) == FALSE) {
        const DWORD error = ::GetLastError();
        ::CloseHandle(job);
        ::SetLastError(error);
        return nullptr;
    }
    return job;
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
                                        const StartOptions& options, long* osError) {
    const auto fail = [osError](DWORD error) -> std::optional<CProcess> {
        if (osError != nullptr) {
            *osError = static_cast<long>(error);
        }
        return std::nullopt;
    };
    // The line's own rule, the same as on every platform: no interpreter reads it.
    const std::vector<std::string> words = SplitCommandLine(commandLine);
    if (words.empty() || words.front().empty()) {
        return fail(ERROR_FILE_NOT_FOUND);
    }
    ChildCommand command = MakeChildCommand(words, currentDir);
    KernelHandle job(MakeJob());
    if (!job) {
        return fail(::GetLastError());
    }
    KernelHandle reader;
    KernelHandle writer;
    STARTUPINFOEXW startup{};
    InheritedHandles inherited;
    if (options.captureErrorOutput) {
        SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        HANDLE readEnd = nullptr;
        HANDLE writeEnd = nullptr;
        if (::CreatePipe(&readEnd, &writeEnd, &inheritable, 0) == FALSE) {
            return fail(::GetLastError());
        }
        reader.reset(readEnd);
        writer.reset(writeEnd);
        // Only the writing end goes to the child, as its error output: it has
        // no input and no other output, and none of the tool's handles.
        ::SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);
        startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
        startup.StartupInfo.hStdError = writer.get();
        inherited.Add(writer.get());
    }
    if (options.sharedLock != nullptr) {
        // Held without sharing: the file stays held while any holder of the
        // handle lives, the child included.
        const HANDLE lock = AsHandle(options.sharedLock->m_handle);
        ::SetHandleInformation(lock, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        inherited.Add(lock);
    }
    LPPROC_THREAD_ATTRIBUTE_LIST list = nullptr;
    if (!inherited.IsEmpty()) {
        list = inherited.List();
        if (list == nullptr) {
            return fail(::GetLastError());
        }
    }
    PROCESS_INFORMATION info{};
    const bool started = CreateChild(command, currentDir, list, startup, info);
    if (options.sharedLock != nullptr) {
        // No later child of this process inherits it by chance.
        ::SetHandleInformation(AsHandle(options.sharedLock->m_handle), HANDLE_FLAG_INHERIT, 0);
    }
    if (!started) {
        return fail(::GetLastError());
    }
    KernelHandle process(info.hProcess);
    const KernelHandle thread(info.hThread);
    if (::AssignProcessToJobObject(job.get(), process.get()) == FALSE) {
        const DWORD error = ::GetLastError();
        ::TerminateProcess(process.get(), kEndedCode);
        ::WaitForSingleObject(process.get(), kEndMs);
        return fail(error);
    }
    ::ResumeThread(thread.get());
    return CProcess(FromHandle(process.release()), FromHandle(job.release()),
                    ErrorPipe(FromHandle(reader.release())));
}

void CProcess::ErrorPipe::Close() {
    if (IsOpen()) {
        ::CloseHandle(AsHandle(m_handle));
        m_handle = -1;
    }
}

void CProcess::End() noexcept {
    if (m_hProcess == kNoHandle) {
        return;
    }
    const KernelHandle process(AsHandle(std::exchange(m_hProcess, kNoHandle)));
    const KernelHandle job(AsHandle(std::exchange(m_hGroup, kNoHandle)));
    ::TerminateJobObject(job.get(), kEndedCode);
    ::WaitForSingleObject(process.get(), kEndMs);
    m_errorPipe.Close();
}

int CProcess::Wait(CString& errorOutput, std::size_t limit, std::chrono::milliseconds timeLimit) {
    errorOutput.Empty();
    if (m_hProcess == kNoHandle) {
        return -1;
    }
    const HANDLE process = AsHandle(m_hProcess);
    const auto start = std::chrono::steady_clock::now();
    std::string kept;
    // Read while waiting: a process that fills the pipe must never wait for us.
    // The window is served after every wait, whether messages came or not: the
    // system takes a window whose queue is not looked at for seconds as hung.
    for (;;) {
        const std::optional<std::chrono::milliseconds> wait = NextWait(start, timeLimit);
        if (!wait) {
            End();
            errorOutput = CString(std::move(kept));
            return kTimedOut;
        }
        const DWORD state = ::MsgWaitForMultipleObjects(
            1, &process, FALSE, static_cast<DWORD>(wait->count()), QS_ALLINPUT);
        Desktop().ServeWindow();
        if (m_errorPipe.IsOpen() && !ReadAvailable(AsHandle(m_errorPipe.get()), kept, limit)) {
            m_errorPipe.Close();  // every writer is gone
        }
        if (state != WAIT_TIMEOUT && state != WAIT_OBJECT_0 + 1) {
            break;
        }
    }
    // Ended: what it left in the pipe has been taken. What it started and left
    // running ends with its job.
    DWORD code = 0;
    const bool known = ::GetExitCodeProcess(process, &code) != FALSE;
    End();
    errorOutput = CString(std::move(kept));
    return known ? static_cast<int>(code) : -1;
}
