#include "framework/ContainedFile.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>
#include <vector>

#include "framework/Kernel.h"
#include "framework/win32/WinApi.h"

namespace {
ContainedFile Refused(const CString& reason) {
    return {ContainedFile::refused, reason};
}

bool IsSeparator(char ch) {
    return ch == '\\' || ch == '/';
}

std::vector<std::string> Components(const std::string& name) {
    std::vector<std::string> parts;
    std::string part;
    for (const char ch : name) {
        if (IsSeparator(ch)) {
            parts.push_back(std::move(part));
            part.clear();
        } else {
            part += ch;
        }
    }
    parts.push_back(std::move(part));
    return parts;
}

// CON, NUL, COM1 and their kind name a device in every folder, whatever follows the dot.
bool NamesDevice(const std::string& part) {
    static constexpr std::array<const char*, 22> kDevices = {
        "con",  "prn",  "aux",  "nul",  "com1", "com2", "com3", "com4", "com5", "com6", "com7",
        "com8", "com9", "lpt1", "lpt2", "lpt3", "lpt4", "lpt5", "lpt6", "lpt7", "lpt8", "lpt9"};
    std::string base = part.substr(0, part.find('.'));
    while (!base.empty() && base.back() == ' ') {
        base.pop_back();
    }
    std::transform(base.begin(), base.end(), base.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    return std::any_of(kDevices.begin(), kDevices.end(),
                       [&base](const char* device) { return base == device; });
}
}  // namespace

ContainedFile FindContainedFile(const CString& dir, const CString& name) {
    const std::string& text = name.str();
    if (!text.empty() && IsSeparator(text[0])) {
        return Refused("is an absolute name");
    }
    if (text.size() >= 2 && std::isalpha(static_cast<unsigned char>(text[0])) != 0 &&
        text[1] == ':') {
        return Refused("names a drive");
    }
    // "name:stream" would reach a hidden stream of a file, not a file.
    if (text.find(':') != std::string::npos) {
        return Refused("names a stream of a file");
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
            path += "\\..";
            atDirectory = true;
            continue;
        }
        if (NamesDevice(part)) {
            return Refused("is a device");
        }
        path += "\\" + part;
        const DWORD attributes = ::GetFileAttributesA(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
                return {ContainedFile::missing, {}};
            }
            return Refused("cannot be looked up (" + SystemErrorText(static_cast<long>(error)) +
                           ")");
        }
        if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            return Refused(i + 1 == parts.size() ? CString("is a symbolic link")
                                                 : "leads through the symbolic link " + part);
        }
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            ++depth;
            atDirectory = true;
            continue;
        }
        if (i + 1 != parts.size()) {
            return {ContainedFile::missing, {}};  // a file used as a folder names nothing
        }
        if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) {
            return Refused("is a device");
        }
        atDirectory = false;
    }
    if (atDirectory) {
        return Refused("is a directory");
    }
    return {ContainedFile::regularFile, {}};
}
