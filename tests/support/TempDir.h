#pragma once
// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
#include <string>

namespace tavix::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::u16string path16() const;
    // path + "/" + name
    std::string file(const std::string& name) const;
    // Writes bytes to path + "/" + name (creating the file).
    void write(const std::string& name, const std::string& bytes) const;
    // Reads path + "/" + name; empty when missing.
    std::string read(const std::string& name) const;

private:
    std::string path_;
};

}  // namespace tavix::test
