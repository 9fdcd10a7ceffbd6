#pragma once
// The page's files as compiled in (EmbedPage.cmake writes the definition).

#include <cstddef>
#include <vector>

namespace pla013::web::internal {

struct EmbeddedPageFile {
    const char* name;  // "index.html"
    const char* data;
    std::size_t size;
};

const std::vector<EmbeddedPageFile>& embeddedPageFiles();

}  // namespace pla013::web::internal
