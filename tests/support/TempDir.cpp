#include "TempDir.h"

#include <stdlib.h>

#include <algorithm>
#include <stdexcept>

namespace fs = std::filesystem;

namespace pla013test {

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "pla013-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a temporary folder");
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
}

std::vector<std::string> TempDir::entries() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(m_path)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace pla013test
