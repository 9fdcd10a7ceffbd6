#pragma once
// The .sql files of the repository's db/ folder, compiled into the library
// (see EmbedSql.cmake).

#include <cstddef>
#include <string_view>
#include <vector>

namespace pla013::db::internal {

struct EmbeddedSqlFile {
    const char* folder;  // "sqlite", "postgresql", "sample" or "postgresql/roles"
    const char* name;    // file name, e.g. "10-catering.sql"
    const char* text;    // UTF-8 content, NUL-terminated
    std::size_t size;    // bytes, without the terminating NUL

    std::string_view content() const { return {text, size}; }
};

// Every embedded file, by folder and, within a folder, in name order (the
// order in which they are applied).
const std::vector<EmbeddedSqlFile>& embeddedSqlFiles();

}  // namespace pla013::db::internal
