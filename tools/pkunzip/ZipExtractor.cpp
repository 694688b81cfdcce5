#include "tools/pkunzip/ZipExtractor.h"

#include <set>
#include <string>
#include <vector>

#include "framework/OwnerOnlyFile.h"
#include "tools/pkunzip/ZipReader.h"

namespace {
constexpr std::uint16_t kStoredMethod = 0;
constexpr std::uint16_t kDeflatedMethod = 8;

// What one extraction made, in the order made; taken away again, newest
// first, unless the extraction completes.
class CreatedPaths {
  public:
    CreatedPaths() = default;
    ~CreatedPaths() {
        for (auto path = m_paths.rbegin(); path != m_paths.rend(); ++path) {
            RemoveName(*path);
        }
    }
    CreatedPaths(const CreatedPaths&) = delete;
    CreatedPaths& operator=(const CreatedPaths&) = delete;

    void Add(const std::string& path) { m_paths.push_back(path); }
    void Keep() { m_paths.clear(); }

  private:
    std::vector<std::string> m_paths;
};

// name inside folder, written with the platform's separator.
std::string Inside(const std::string& folder, const std::string& name) {
    if (folder.empty()) {
        return name;
    }
    const char last = folder.back();
    if (last == '/' || last == FolderSeparator()) {
        return folder + name;
    }
    return folder + FolderSeparator() + name;
}

std::vector<std::string> Components(const std::string& name) {
    std::vector<std::string> parts;
    std::string part;
    for (const char ch : name) {
        if (ch == '/' || ch == '\\') {
            parts.push_back(part);
            part.clear();
        } else {
            part += ch;
        }
    }
    parts.push_back(part);
    return parts;
}

// The entry's place below the target folder, one name per folder level:
// separators of either kind, no empty or "." components.
std::vector<std::string> PlaceOf(const std::string& name) {
    std::vector<std::string> place;
    for (std::string& part : Components(name)) {
        if (!part.empty() && part != ".") {
            place.push_back(std::move(part));
        }
    }
    return place;
}

// Names that differ only in letter case or separators land on one file on
// some file systems: each may appear once.
std::string FoldedPlace(const std::vector<std::string>& place) {
    std::string folded;
    for (const std::string& part : place) {
        folded += '/';
        for (const char ch : part) {
            folded += (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch;
        }
    }
    return folded;
}

std::string Refusal(const ZipEntry& entry) {
    const std::string& name = entry.name;
    if (name.empty() || PlaceOf(name).empty()) {
        return "entry without a name";
    }
    if (name[0] == '/' || name[0] == '\\' || (name.size() > 1 && name[1] == ':')) {
        return "absolute path in entry " + name;
    }
    if (name.find(':') != std::string::npos) {
        return "':' in entry " + name;
    }
    for (const std::string& part : Components(name)) {
        if (part == "..") {
            return "'..' in entry " + name;
        }
    }
    if (entry.isSymlink) {
        return "symbolic link in entry " + name;
    }
    if ((entry.flags & 1U) != 0) {
        return "encrypted entry " + name;
    }
    if (entry.method != kStoredMethod && entry.method != kDeflatedMethod) {
        return "compression method " + std::to_string(entry.method) + " of entry " + name;
    }
    if (entry.isDirectory && entry.size != 0) {
        return "folder entry with data " + name;
    }
    return {};
}

// The folders leading to an entry: each made when missing, never followed
// through a link.
std::string MakeFolders(std::string& path, const std::vector<std::string>& place, std::size_t count,
                        CreatedPaths& created) {
    for (std::size_t i = 0; i < count; ++i) {
        path = Inside(path, place[i]);
        const NameKind kind = LookUpName(path);
        if (kind == NameKind::folder) {
            continue;
        }
        if (kind != NameKind::none) {
            return path + " is in the way of a folder";
        }
        if (std::string failure = MakeOwnerOnlyFolder(path); !failure.empty()) {
            return path + ": " + failure;
        }
        created.Add(path);
    }
    return {};
}

std::string ExtractEntry(ZipReader& reader, const ZipEntry& entry, const std::string& targetDir,
                         CreatedPaths& created) {
    const std::vector<std::string> place = PlaceOf(entry.name);
    std::string path = targetDir;
    const std::size_t folders = entry.isDirectory ? place.size() : place.size() - 1;
    if (std::string error = MakeFolders(path, place, folders, created); !error.empty()) {
        return error;
    }
    if (entry.isDirectory) {
        return {};
    }
    path = Inside(path, place.back());
    if (LookUpName(path) != NameKind::none) {
        return path + " is in the way of a file";
    }
    OwnerOnlyFile out;
    if (std::string failure = out.Create(path); !failure.empty()) {
        return path + ": " + failure;
    }
    created.Add(path);
    std::string failure =
        reader.Read(entry, [&](const char* bytes, std::size_t count) -> std::string {
            if (std::string error = out.Write(bytes, count); !error.empty()) {
                return path + ": " + error;
            }
            return {};
        });
    if (!failure.empty()) {
        return failure;
    }
    if (std::string error = out.Close(); !error.empty()) {
        return path + ": " + error;
    }
    return {};
}
}  // namespace

std::string ExtractArchive(const std::string& archivePath, const std::string& targetDir) {
    ZipReader reader;
    if (std::string failure = reader.Open(archivePath); !failure.empty()) {
        return failure;
    }
    // Every entry is checked before anything is written.
    std::set<std::string> places;
    for (const ZipEntry& entry : reader.Entries()) {
        if (std::string refusal = Refusal(entry); !refusal.empty()) {
            return archivePath + ": refused: " + refusal;
        }
        if (!places.insert(FoldedPlace(PlaceOf(entry.name))).second) {
            return archivePath + ": refused: duplicate entry " + entry.name;
        }
    }
    CreatedPaths created;
    for (const ZipEntry& entry : reader.Entries()) {
        if (std::string failure = ExtractEntry(reader, entry, targetDir, created);
            !failure.empty()) {
            return failure;
        }
    }
    created.Keep();
    return {};
}
