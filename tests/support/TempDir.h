// A fresh directory for one test, removed with everything in it afterwards.
#pragma once

#include <filesystem>
#include <string>

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return m_path; }
    [[nodiscard]] std::string str() const { return m_path.string(); }
    [[nodiscard]] std::filesystem::path operator/(const std::string& name) const {
        return m_path / name;
    }

  private:
    std::filesystem::path m_path;
};

// Makes under dir a tree deeper than any path can name, so that its innermost
// entries cannot be removed by path, whoever runs the test. Empty on success.
std::string MakeUnremovableTree(const std::filesystem::path& dir);
// Removes a folder with everything in it, deep trees too.
void RemoveTree(const std::filesystem::path& dir);

// Writes bytes to a file, creating its folders.
void WriteFile(const std::filesystem::path& path, const std::string& bytes);
[[nodiscard]] std::string ReadFile(const std::filesystem::path& path);
