#pragma once

#include <filesystem>
#include <string>

namespace ixo::test {

// A fresh folder under the system's temporary folder, removed with everything in it
// when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // Path of a file inside the folder, as text.
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Writes bytes to a file, replacing it; fails the test on error.
void WriteBytes(const std::string& path, const std::string& bytes);
// Reads a whole file; fails the test on error.
std::string ReadBytes(const std::string& path);

}  // namespace ixo::test
