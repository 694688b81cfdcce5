// The test directories on Windows: under the user's temporary folder, emptied of
// read-only marks before they are removed.
#include "tests/support/TempDir.h"

#include <atomic>
#include <stdexcept>

#include "framework/win32/WinApi.h"

namespace {
std::atomic<unsigned> g_counter{0};
}

TempDir::TempDir() {
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = "lorbanix-test-" + std::to_string(::GetCurrentProcessId()) + "-" +
                                 std::to_string(::GetTickCount()) + "-" +
                                 std::to_string(g_counter++);
        if (std::filesystem::create_directory(base / name)) {
            m_path = base / name;
            return;
        }
    }
    throw std::runtime_error("cannot create a test directory");
}

void RemoveTree(const std::filesystem::path& dir) {
    std::error_code ignored;
    for (auto it = std::filesystem::recursive_directory_iterator(dir, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        ::SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    std::filesystem::remove_all(dir, ignored);
}

TempDir::~TempDir() {
    RemoveTree(m_path);
}
