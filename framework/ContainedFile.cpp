// The walk from a directory down a name, one component at a time, and what one
// path is. How names are written and the look-up of one path are the
// platform's (framework/PathLookup.h).
#include "framework/ContainedFile.h"

#include <string>
#include <vector>

#include "framework/Kernel.h"
#include "framework/PathLookup.h"

namespace {
ContainedFile Refused(const CString& reason) {
    return {ContainedFile::refused, reason, {}};
}

// The path the rest of the name means below path, for saying which file is missing.
ContainedFile Missing(std::string path, const std::vector<std::string>& parts, std::size_t from) {
    for (std::size_t i = from; i < parts.size(); ++i) {
        if (!parts[i].empty() && parts[i] != ".") {
            path += PathSeparator();
            path += parts[i];
        }
    }
    return {ContainedFile::missing, {}, CString(path)};
}

std::vector<std::string> Components(const std::string& name) {
    std::vector<std::string> parts;
    std::string part;
    for (const char ch : name) {
        if (IsNameSeparator(ch)) {
            parts.push_back(std::move(part));
            part.clear();
        } else {
            part += ch;
        }
    }
    parts.push_back(std::move(part));
    return parts;
}
}  // namespace

ContainedFile FindContainedFile(const CString& dir, const CString& name) {
    if (const CString reason = RefusedName(name.str()); !reason.IsEmpty()) {
        return Refused(reason);
    }
    const std::vector<std::string> parts = Components(name.str());
    // The path is built of the components that lead somewhere: empty and "."
    // ones add nothing and ".." takes the last folder off again, so a name of
    // any length resolves to the path it means, which is the one opened.
    std::string path = dir.str();
    std::vector<std::size_t> folderStarts;  // where each folder entered begins in path
    bool atDirectory = true;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        const bool last = i + 1 == parts.size();
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == "..") {
            if (folderStarts.empty()) {
                return Refused("leaves the directory");
            }
            // Every folder on the way is a real one, so ".." goes back where it came from.
            path.resize(folderStarts.back());
            folderStarts.pop_back();
            continue;
        }
        if (const CString reason = RefusedComponent(part); !reason.IsEmpty()) {
            return Refused(reason);
        }
        const std::size_t start = path.size();
        path += PathSeparator();
        path += part;
        // Never cut: a path the platform cannot take names no file it could open.
        if (const CString reason = TooLongReason(path); !reason.IsEmpty()) {
            return Refused(reason);
        }
        const PathLookup found = LookUpPath(path);
        switch (found.m_kind) {
            case PathLookup::none:
                return Missing(path, parts, i + 1);
            case PathLookup::failed:
                return Refused("cannot be looked up (" + found.m_strReason + ")");
            case PathLookup::link:
                return Refused(last ? CString("is a symbolic link")
                                    : "leads through the symbolic link " + CString(part));
            case PathLookup::directory:
                folderStarts.push_back(start);
                atDirectory = true;
                continue;
            case PathLookup::file:
            case PathLookup::other:
                if (!last) {
                    return Missing(path, parts, i + 1);  // a file used as a folder names nothing
                }
                if (found.m_kind == PathLookup::other) {
                    return Refused(found.m_strReason);
                }
                atDirectory = false;
                continue;
        }
    }
    if (atDirectory) {
        return Refused("is a directory");
    }
    return {ContainedFile::regularFile, {}, CString(path)};
}

PathKind GetPathKind(const CString& path) {
    if (path.IsEmpty()) {
        return PathKind::none;
    }
    switch (LookUpPath(path.str()).m_kind) {
        case PathLookup::directory:
            return PathKind::directory;
        case PathLookup::file:
            return PathKind::file;
        case PathLookup::link:
            return PathKind::link;
        case PathLookup::other:
            return PathKind::other;
        case PathLookup::none:
        case PathLookup::failed:
            break;
    }
    return PathKind::none;
}
