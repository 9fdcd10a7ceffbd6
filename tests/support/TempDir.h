#pragma once
// A folder of its own under the temporary folder, removed with its content.

#include <filesystem>
#include <string>
#include <vector>

namespace pla013test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return m_path; }
    std::string file(const std::string& name) const { return (m_path / name).string(); }
    // Names of the entries, sorted (hidden ones included).
    std::vector<std::string> entries() const;

private:
    std::filesystem::path m_path;
};

}  // namespace pla013test
