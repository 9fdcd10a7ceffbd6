#include "platform/db/internal/SqlText.h"

#include <algorithm>

namespace pla013::db::internal {

namespace {

bool isNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }

bool isNameChar(char c) { return isNameStart(c) || (c >= '0' && c <= '9'); }

char upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

}  // namespace

std::vector<std::string> parameterNames(const std::string& sql) {
    std::vector<std::string> names;
    const std::size_t n = sql.size();
    std::size_t i = 0;
    while (i < n) {
        const char c = sql[i];
        if (c == '\'' || c == '"') {
            // A doubled quote inside the literal stands for the quote itself,
            // so scanning on to the next quote is enough.
            const std::size_t end = sql.find(c, i + 1);
            i = end == std::string::npos ? n : end + 1;
        } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
            const std::size_t end = sql.find('\n', i + 2);
            i = end == std::string::npos ? n : end + 1;
        } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
            const std::size_t end = sql.find("*/", i + 2);
            i = end == std::string::npos ? n : end + 2;
        } else if (c == ':' && i + 1 < n && sql[i + 1] == ':') {
            i += 2;
        } else if (c == ':' && i + 1 < n && isNameStart(sql[i + 1])) {
            std::size_t end = i + 1;
            while (end < n && isNameChar(sql[end])) ++end;
            std::string name = sql.substr(i + 1, end - i - 1);
            if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(std::move(name));
            i = end;
        } else {
            ++i;
        }
    }
    return names;
}

std::string withoutComments(const std::string& sql) {
    std::string result;
    result.reserve(sql.size());
    const std::size_t n = sql.size();
    std::size_t i = 0;
    while (i < n) {
        const char c = sql[i];
        if (c == '\'' || c == '"') {
            const std::size_t end = sql.find(c, i + 1);
            const std::size_t stop = end == std::string::npos ? n : end + 1;
            result.append(sql, i, stop - i);
            i = stop;
        } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
            const std::size_t end = sql.find('\n', i + 2);
            i = end == std::string::npos ? n : end;
        } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
            const std::size_t end = sql.find("*/", i + 2);
            i = end == std::string::npos ? n : end + 2;
            result += ' ';
        } else {
            result += c;
            ++i;
        }
    }
    return result;
}

std::string withPositionalParameters(const std::string& sql,
                                     const std::function<std::string(const std::string&)>& placeholder,
                                     std::vector<std::string>& order) {
    const std::string text = withoutComments(sql);
    std::string result;
    result.reserve(text.size());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const char c = text[i];
        if (c == '\'' || c == '"') {
            const std::size_t end = text.find(c, i + 1);
            const std::size_t stop = end == std::string::npos ? n : end + 1;
            result.append(text, i, stop - i);
            i = stop;
        } else if (c == ':' && i + 1 < n && text[i + 1] == ':') {
            result += "::";
            i += 2;
        } else if (c == ':' && i + 1 < n && isNameStart(text[i + 1])) {
            std::size_t end = i + 1;
            while (end < n && isNameChar(text[end])) ++end;
            order.push_back(text.substr(i + 1, end - i - 1));
            result += placeholder(order.back());
            i = end;
        } else {
            result += c;
            ++i;
        }
    }
    return result;
}

bool isBlank(const std::string& text) { return text.find_first_not_of(" \t\r\n") == std::string::npos; }

std::string toUpperAscii(std::string text) {
    for (char& c : text) c = upper(c);
    return text;
}

bool equalsIgnoreCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return upper(x) == upper(y); });
}

}  // namespace pla013::db::internal
