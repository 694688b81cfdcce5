// A slow unpacker for the end-to-end tests, carried on a medium in place of
// the real one: for LORBANIX_TEST_UNPACK_DELAY_MS it rewrites the file
// "heartbeat" in its current folder every 100 ms (a counter), then runs the
// unpacker that LORBANIX_TEST_UNPACKER names with its own arguments and ends
// with that one's exit code. A heartbeat that goes on after the tool was ended
// is a process left behind.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "framework/win32/WinApi.h"

namespace {
constexpr DWORD kBeatMs = 100;

// Each beat is written aside and then put in place whole, so that a process
// ended between two calls never leaves an empty or half-written heartbeat.
void Beat(unsigned long count) {
    const HANDLE file = ::CreateFileW(L"heartbeat.new", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    const std::string text = std::to_string(count) + "\n";
    DWORD written = 0;
    const BOOL wrote =
        ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(file);
    if (wrote != FALSE && written == text.size()) {
        ::MoveFileExW(L"heartbeat.new", L"heartbeat", MOVEFILE_REPLACE_EXISTING);
    }
}

// What follows the program's own name on this process's command line.
std::wstring Arguments() {
    const std::wstring line = ::GetCommandLineW();
    std::size_t end = 0;
    if (!line.empty() && line[0] == L'"') {
        end = line.find(L'"', 1);
        end = end == std::wstring::npos ? line.size() : end + 1;
    } else {
        end = line.find_first_of(L" \t");
        end = end == std::wstring::npos ? line.size() : end;
    }
    return line.substr(end);
}
}  // namespace

int main() {
    const char* delay = std::getenv("LORBANIX_TEST_UNPACK_DELAY_MS");
    const char* unpacker = std::getenv("LORBANIX_TEST_UNPACKER");
    if (unpacker == nullptr) {
        std::fprintf(stderr, "slow unpacker: LORBANIX_TEST_UNPACKER names no unpacker\n");
        return 9;
    }
    const ULONGLONG until =
        ::GetTickCount64() + static_cast<ULONGLONG>(delay != nullptr ? std::atol(delay) : 0);
    for (unsigned long count = 1; ::GetTickCount64() < until; ++count) {
        Beat(count);
        ::Sleep(kBeatMs);
    }
    std::wstring program(unpacker, unpacker + std::char_traits<char>::length(unpacker));
    std::wstring line = L"\"" + program + L"\"" + Arguments();
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                         &startup, &info) == FALSE) {
        std::fprintf(stderr, "slow unpacker: cannot start %s\n", unpacker);
        return 9;
    }
    ::WaitForSingleObject(info.hProcess, INFINITE);
    DWORD code = 9;
    ::GetExitCodeProcess(info.hProcess, &code);
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    return static_cast<int>(code);
}
