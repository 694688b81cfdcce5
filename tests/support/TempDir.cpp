#include "tests/support/TempDir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "tests/support/Subprocess.h"

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "lorbanix-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_path = buffer.data();
}

std::string MakeUnremovableTree(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    const std::string level(200, 'd');
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < 25 && fd >= 0; ++i) {
        if (::mkdirat(fd, level.c_str(), 0755) != 0) {
            ::close(fd);
            return "mkdirat failed";
        }
        const int next = ::openat(fd, level.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
    }
    if (fd < 0) {
        return "cannot open a level of the tree";
    }
    const int file = ::openat(fd, "inner", O_WRONLY | O_CREAT, 0644);
    ::close(fd);
    if (file < 0) {
        return "cannot create the innermost file";
    }
    ::close(file);
    return {};
}

void RemoveTree(const std::filesystem::path& dir) {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    if (std::filesystem::exists(dir, ignored)) {
        RunSubprocess({"/bin/rm", "-rf", dir.string()});
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    // Restore access to anything a test locked down, then remove it all.
    for (auto it = std::filesystem::recursive_directory_iterator(m_path, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        }
    }
    RemoveTree(m_path);
}
