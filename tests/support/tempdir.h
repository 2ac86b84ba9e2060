#pragma once

#include <string>
#include <vector>

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it when
// the object goes out of scope. Tests that touch relative files (setting.nbx,
// countries.nbx, proxy.tmp) pair it with ScopedChdir.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    // Absolute path of name inside the folder.
    std::string File(const std::string& name) const;
    // Writes content byte for byte (no line-end translation); returns the absolute path.
    std::string WriteFile(const std::string& name, const std::string& content) const;
    // The file's bytes, or "" when it cannot be read.
    std::string ReadFile(const std::string& name) const;

private:
    std::string path_;
};

// The bytes of the file at path, or "" when it cannot be read.
std::string ReadFileBytes(const std::string& path);
// The names of the entries of folder, sorted.
std::vector<std::string> FolderListing(const std::string& folder);

// Changes the working directory for its lifetime and changes back afterwards.
class ScopedChdir {
public:
    explicit ScopedChdir(const std::string& dir);
    ~ScopedChdir();
    ScopedChdir(const ScopedChdir&) = delete;
    ScopedChdir& operator=(const ScopedChdir&) = delete;

private:
    std::string previous_;
};
