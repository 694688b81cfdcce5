// How Windows names are written, and the look-up of one path.
#include <algorithm>
#include <array>
#include <cctype>
#include <string>

#include "framework/Kernel.h"
#include "framework/PathLookup.h"
#include "framework/win32/WideText.h"
#include "framework/win32/WinApi.h"

bool IsNameSeparator(char ch) {
    return ch == '\\' || ch == '/';
}

CString RefusedName(const std::string& name) {
    if (!name.empty() && IsNameSeparator(name[0])) {
        return "is an absolute name";
    }
    if (name.size() >= 2 && std::isalpha(static_cast<unsigned char>(name[0])) != 0 &&
        name[1] == ':') {
        return "names a drive";
    }
    // "name:stream" would reach a hidden stream of a file, not a file.
    if (name.find(':') != std::string::npos) {
        return "names a stream of a file";
    }
    return {};
}

// CON, NUL, COM1 and their kind name a device in every folder, whatever follows the dot.
CString RefusedComponent(const std::string& part) {
    static constexpr std::array<const char*, 22> kDevices = {
        "con",  "prn",  "aux",  "nul",  "com1", "com2", "com3", "com4", "com5", "com6", "com7",
        "com8", "com9", "lpt1", "lpt2", "lpt3", "lpt4", "lpt5", "lpt6", "lpt7", "lpt8", "lpt9"};
    std::string base = part.substr(0, part.find('.'));
    while (!base.empty() && base.back() == ' ') {
        base.pop_back();
    }
    std::transform(base.begin(), base.end(), base.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    const bool device = std::any_of(kDevices.begin(), kDevices.end(),
                                    [&base](const char* name) { return base == name; });
    return device ? CString("is a device") : CString();
}

CString TooLongReason(const std::string& path) {
    constexpr std::size_t kLongest = MAX_PATH - 1;  // MAX_PATH counts the terminating NUL
    if (Widened(path).size() <= kLongest) {
        return {};
    }
    return "leads to a path longer than the " + CString(std::to_string(kLongest)) +
           " characters a path may have here";
}

PathLookup LookUpPath(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(Widened(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return {PathLookup::none, {}};
        }
        return {PathLookup::failed, SystemErrorText(static_cast<long>(error))};
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return {PathLookup::link, {}};
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return {PathLookup::directory, {}};
    }
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) {
        return {PathLookup::other, "is a device"};
    }
    return {PathLookup::file, {}};
}
