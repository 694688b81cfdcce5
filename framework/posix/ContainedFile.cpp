#include "framework/ContainedFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <vector>

#include "framework/Kernel.h"

namespace {
ContainedFile Refused(const CString& reason) {
    return {ContainedFile::refused, reason};
}

std::vector<std::string> Components(const std::string& name) {
    std::vector<std::string> parts;
    std::string part;
    for (const char ch : name) {
        if (ch == '/') {
            parts.push_back(std::move(part));
            part.clear();
        } else {
            part += ch;
        }
    }
    parts.push_back(std::move(part));
    return parts;
}

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

ContainedFile FindContainedFile(const CString& dir, const CString& name) {
    const std::string& text = name.str();
    if (!text.empty() && text[0] == '/') {
        return Refused("is an absolute name");
    }
    // A name written for a platform with drives is refused, not reinterpreted.
    if (text.size() >= 2 && IsDriveLetter(text[0]) && text[1] == ':') {
        return Refused("names a drive");
    }
    const std::vector<std::string> parts = Components(text);
    std::string path = dir.str();
    int depth = 0;
    bool atDirectory = true;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == "..") {
            if (depth == 0) {
                return Refused("leaves the directory");
            }
            // Every folder on the way is a real one, so ".." goes back where it came from.
            --depth;
            path += "/..";
            atDirectory = true;
            continue;
        }
        path += "/" + part;
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0) {
            const int error = errno;
            if (error == ENOENT || error == ENOTDIR) {
                return {ContainedFile::missing, {}};
            }
            return Refused("cannot be looked up (" + SystemErrorText(error) + ")");
        }
        if (S_ISLNK(info.st_mode)) {
            return Refused(i + 1 == parts.size() ? CString("is a symbolic link")
                                                 : "leads through the symbolic link " + part);
        }
        if (S_ISDIR(info.st_mode)) {
            ++depth;
            atDirectory = true;
            continue;
        }
        if (i + 1 != parts.size()) {
            return {ContainedFile::missing, {}};  // a file used as a folder names nothing
        }
        if (!S_ISREG(info.st_mode)) {
            return Refused(KindOf(info.st_mode));
        }
        atDirectory = false;
    }
    if (atDirectory) {
        return Refused("is a directory");
    }
    return {ContainedFile::regularFile, {}};
}
