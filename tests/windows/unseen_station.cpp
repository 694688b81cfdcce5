// Runs a program on a window station that nobody sees, as a service or a task
// without a desktop runs, for the end-to-end tests:
//   lorbanix-tests-unseen-station SECONDS PROGRAM [ARGUMENTS]
// Ends with the program's exit code; 124 when it had not ended in time (it is
// ended then), 125 when it could not be started.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "framework/win32/WinApi.h"
// After windows.h, which it needs.
#include <shellapi.h>

int main() {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (argv == nullptr || argc < 3) {
        std::fprintf(stderr, "usage: lorbanix-tests-unseen-station SECONDS PROGRAM [ARGUMENTS]\n");
        return 2;
    }
    const DWORD seconds = std::wcstoul(argv[1], nullptr, 10);
    std::wstring line;
    for (int i = 2; i < argc; ++i) {
        line += (i > 2 ? L" \"" : L"\"") + std::wstring(argv[i]) + L"\"";
    }
    // A station made here is not the interactive one: nobody sees its windows.
    const HWINSTA own = ::GetProcessWindowStation();
    const HWINSTA station =
        ::CreateWindowStationW(L"lorbanix-unseen", 0, WINSTA_ALL_ACCESS, nullptr);
    if (station == nullptr || ::SetProcessWindowStation(station) == FALSE) {
        std::fprintf(stderr, "no window station: error %lu\n", ::GetLastError());
        return 125;
    }
    const HDESK desktop = ::CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    ::SetProcessWindowStation(own);
    if (desktop == nullptr) {
        std::fprintf(stderr, "no desktop: error %lu\n", ::GetLastError());
        return 125;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring where = L"lorbanix-unseen\\Default";
    startup.lpDesktop = where.data();
    // What it writes goes where this program's output goes.
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    if (::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                         &startup, &process) == FALSE) {
        std::fprintf(stderr, "cannot start: error %lu\n", ::GetLastError());
        return 125;
    }
    DWORD code = 124;
    if (::WaitForSingleObject(process.hProcess, seconds * 1000) == WAIT_OBJECT_0) {
        ::GetExitCodeProcess(process.hProcess, &code);
    } else {
        ::TerminateProcess(process.hProcess, 124);
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    ::CloseDesktop(desktop);
    ::CloseWindowStation(station);
    ::LocalFree(argv);
    return static_cast<int>(code);
}
