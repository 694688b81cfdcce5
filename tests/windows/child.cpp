// A program the Windows tests start: writes its arguments after the first to
// its error output and ends with the first as exit code. "crash" instead ends
// in an access violation once the tool's crash handling is set up; "hang"
// never ends; "spawn FILE hang|exit" starts a hanging copy of itself (outside
// any job of its own making), writes that copy's process number to FILE and
// then hangs or ends; "own FILE" starts "spawn FILE hang" as the tool starts
// its unpacker and hangs; "signal HANDLE..." sets the events of those numbers
// that it has, and ends with the count of those it has not.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "framework/CProcess.h"
#include "framework/Kernel.h"
#include "framework/win32/WinApi.h"

namespace {
std::string Self() {
    return "\"" + ModuleFilePath().str() + "\"";
}

[[noreturn]] void Hang() {
    for (;;) {
        ::Sleep(INFINITE);
    }
}

int Spawn(const char* file, bool hang) {
    std::string line = Self() + " hang";
    std::vector<char> mutableLine(line.begin(), line.end());
    mutableLine.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (::CreateProcessA(nullptr, mutableLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                         nullptr, nullptr, &startup, &info) == FALSE) {
        return 9;
    }
    const std::string temp = std::string(file) + ".part";
    FILE* out = std::fopen(temp.c_str(), "w");
    if (out == nullptr) {
        return 9;
    }
    std::fprintf(out, "%lu\n", static_cast<unsigned long>(info.dwProcessId));
    std::fclose(out);
    ::MoveFileA(temp.c_str(), file);
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    if (hang) {
        Hang();
    }
    return 0;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "crash") == 0) {
        EndRunOnCrash();
        volatile int* nowhere = nullptr;
        return *nowhere;
    }
    if (argc >= 2 && std::strcmp(argv[1], "hang") == 0) {
        Hang();
    }
    if (argc >= 4 && std::strcmp(argv[1], "spawn") == 0) {
        return Spawn(argv[2], std::strcmp(argv[3], "hang") == 0);
    }
    if (argc >= 3 && std::strcmp(argv[1], "signal") == 0) {
        int missing = 0;
        for (int i = 2; i < argc; ++i) {
            const auto event = reinterpret_cast<HANDLE>(  // NOLINT(performance-no-int-to-ptr)
                static_cast<std::uintptr_t>(std::strtoull(argv[i], nullptr, 10)));
            missing += ::SetEvent(event) != FALSE ? 0 : 1;
        }
        return missing;
    }
    if (argc >= 3 && std::strcmp(argv[1], "own") == 0) {
        const std::optional<CProcess> child = CProcess::Start(
            CString((Self() + " spawn \"" + argv[2] + "\" hang").c_str()), CString());
        if (!child) {
            return 9;
        }
        Hang();
    }
    for (int i = 2; i < argc; ++i) {
        std::fprintf(stderr, "%s%s", i > 2 ? " " : "", argv[i]);
    }
    std::fflush(stderr);
    return argc >= 2 ? std::atoi(argv[1]) : 0;
}
