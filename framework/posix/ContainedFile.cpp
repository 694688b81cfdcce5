// How POSIX names are written, and the look-up of one path.
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <string>

#include "framework/Kernel.h"
#include "framework/PathLookup.h"

namespace {
const char* KindOf(mode_t mode) {
    if (S_ISFIFO(mode)) {
        return "is a named pipe";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "is a device";
    }
    if (S_ISSOCK(mode)) {
        return "is a socket";
    }
    return "is not a regular file";
}

bool IsDriveLetter(char ch) {
    return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z');
}
}  // namespace

bool IsNameSeparator(char ch) {
    return ch == '/';
}

CString RefusedName(const std::string& name) {
    if (!name.empty() && name[0] == '/') {
        return "is an absolute name";
    }
    // A name written for a platform with drives is refused, not reinterpreted.
    if (name.size() >= 2 && IsDriveLetter(name[0]) && name[1] == ':') {
        return "names a drive";
    }
    return {};
}

CString RefusedComponent(const std::string& /*part*/) {
    return {};
}

CString TooLongReason(const std::string& path) {
    constexpr std::size_t kLongest = PATH_MAX - 1;  // PATH_MAX counts the terminating NUL
    if (path.size() <= kLongest) {
        return {};
    }
    return "leads to a path longer than the " + CString(std::to_string(kLongest)) +
           " bytes a path may have here";
}

PathLookup LookUpPath(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) {
            return {PathLookup::none, {}};
        }
        return {PathLookup::failed, SystemErrorText(error)};
    }
    if (S_ISLNK(info.st_mode)) {
        return {PathLookup::link, {}};
    }
    if (S_ISDIR(info.st_mode)) {
        return {PathLookup::directory, {}};
    }
    if (S_ISREG(info.st_mode)) {
        return {PathLookup::file, {}};
    }
    return {PathLookup::other, KindOf(info.st_mode)};
}
