#pragma once
// Small text helpers for SQL statements, shared by the database adapter and
// the initializer.

#include <functional>
#include <string>
#include <vector>

namespace pla013::db::internal {

// Names of the ":NAME" parameters in sql, each once, in order of first
// occurrence and spelled as in the text. Quoted literals ('...'), quoted
// identifiers ("..."), line comments (--) and block comments are skipped, and
// so is PostgreSQL's cast operator "::".
std::vector<std::string> parameterNames(const std::string& sql);

// The text without its comments and with every ":NAME" parameter replaced by
// placeholder(NAME); order receives the names in the order they occur, once
// per occurrence. For engines whose client binds by position.
std::string withPositionalParameters(const std::string& sql,
                                     const std::function<std::string(const std::string&)>& placeholder,
                                     std::vector<std::string>& order);

// The text without its comments (outside quotes): a line comment is dropped up
// to its line end, a block comment becomes one blank. SOCI's PostgreSQL
// backend would otherwise take ":NAME" inside a comment for a parameter.
std::string withoutComments(const std::string& sql);

// True when the text is empty or holds only blanks (spaces, tabs, line ends).
bool isBlank(const std::string& text);

std::string toUpperAscii(std::string text);
bool equalsIgnoreCase(const std::string& a, const std::string& b);

}  // namespace pla013::db::internal
