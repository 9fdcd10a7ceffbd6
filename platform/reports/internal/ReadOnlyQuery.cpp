#include "platform/reports/internal/ReadOnlyQuery.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "platform/reports/internal/DefinitionRules.h"

namespace pla013::reports::internal {

namespace {

// Words that have no place in a query that only reads. INTO covers
// PostgreSQL's SELECT ... INTO, which creates a table; UPDATE covers
// SELECT ... FOR UPDATE, which locks rows.
// GEN_ID and NEXT VALUE FOR move a Firebird sequence, which no read-only
// transaction stops.
constexpr std::array<std::string_view, 18> kForbidden = {"INSERT",  "UPDATE",   "DELETE", "MERGE",  "DROP",   "CREATE",
                                                         "ALTER",   "TRUNCATE", "ATTACH", "DETACH", "PRAGMA", "VACUUM",
                                                         "REINDEX", "GRANT",    "REVOKE", "COMMIT", "INTO",   "GEN_ID"};

struct Token {
    std::string word;  // upper-cased; empty for a ';'
    std::size_t offset = 0;
};

bool isWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' ||
           (static_cast<unsigned char>(c) & 0x80);
}

// The engines a definition's SQL may run on read quotes differently: only
// PostgreSQL has dollar-quoted texts ($tag$...$tag$; SQLite reads $a$ as a
// parameter name), only SQLite quotes names with `...` and [...], only
// Firebird has q'{...}' texts.
enum class Dialect { SQLite, PostgreSQL, Firebird };

// Words and semicolons of sql, in order, outside literals, quoted
// identifiers and comments, as the dialect reads them. A text the engine
// would read differently (a nested block comment, an unterminated literal)
// only ever shows more words here than the engine runs, never fewer.
class Scanner {
public:
    Scanner(const std::string& sql, Dialect dialect) : m_sql(sql), m_dialect(dialect) {}

    std::vector<Token> tokens() {
        std::vector<Token> out;
        const std::size_t n = m_sql.size();
        while (m_pos < n) {
            const char c = m_sql[m_pos];
            const bool wordBefore = m_pos > 0 && isWordChar(m_sql[m_pos - 1]);
            if ((c == 'q' || c == 'Q') && m_dialect == Dialect::Firebird && !wordBefore && m_pos + 2 < n &&
                m_sql[m_pos + 1] == '\'') {
                skipAlternativeQuoted();
            } else if (c == '\'') {
                skipQuoted('\'', false);
            } else if ((c == 'E' || c == 'e') && !wordBefore && m_pos + 1 < n && m_sql[m_pos + 1] == '\'') {
                ++m_pos;
                skipQuoted('\'', true);
            } else if (c == '"' || (c == '`' && m_dialect == Dialect::SQLite)) {
                skipQuoted(c, false);
            } else if (c == '[' && m_dialect == Dialect::SQLite) {
                skipTo("]", 1);
            } else if (c == '-' && m_pos + 1 < n && m_sql[m_pos + 1] == '-') {
                skipTo("\n", 2);
            } else if (c == '/' && m_pos + 1 < n && m_sql[m_pos + 1] == '*') {
                skipTo("*/", 2);
            } else if (c == '$' && !wordBefore && m_dialect == Dialect::PostgreSQL && skipDollarQuoted()) {
                continue;
            } else if (c == ';') {
                out.push_back({std::string(), m_pos++});
            } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
                const std::size_t start = m_pos;
                while (m_pos < n && isWordChar(m_sql[m_pos])) ++m_pos;
                out.push_back({upperCase(m_sql.substr(start, m_pos - start)), start});
            } else {
                ++m_pos;
            }
        }
        return out;
    }

private:
    // A doubled quote stays inside; with backslashes, a backslash escapes
    // the character after it (PostgreSQL's E'...').
    void skipQuoted(char quote, bool backslashes) {
        for (++m_pos; m_pos < m_sql.size(); ++m_pos) {
            if (backslashes && m_sql[m_pos] == '\\') {
                ++m_pos;
            } else if (m_sql[m_pos] == quote) {
                if (m_pos + 1 < m_sql.size() && m_sql[m_pos + 1] == quote) {
                    ++m_pos;
                    continue;
                }
                ++m_pos;
                return;
            }
        }
    }
    // Firebird's q'Xtext'X' literal: X is a bracket ({, (, [, <) closed by
    // its pair, or any other character closed by itself.
    void skipAlternativeQuoted() {
        const char open = m_sql[m_pos + 2];
        const char close = open == '{' ? '}' : open == '(' ? ')' : open == '[' ? ']' : open == '<' ? '>' : open;
        const std::string end = std::string(1, close) + "'";
        skipTo(end.c_str(), 3);
    }
    void skipTo(const char* end, std::size_t opening) {
        const std::size_t at = m_sql.find(end, m_pos + opening);
        m_pos = at == std::string::npos ? m_sql.size() : at + std::string_view(end).size();
    }
    // $$...$$ or $tag$...$tag$; false (nothing skipped) for anything else,
    // e.g. a positional parameter $1.
    bool skipDollarQuoted() {
        std::size_t i = m_pos + 1;
        while (i < m_sql.size() && m_sql[i] != '$' && isWordChar(m_sql[i])) ++i;
        if (i >= m_sql.size() || m_sql[i] != '$') return false;
        if (i > m_pos + 1 && std::isdigit(static_cast<unsigned char>(m_sql[m_pos + 1]))) return false;
        const std::string tag = m_sql.substr(m_pos, i + 1 - m_pos);
        const std::size_t close = m_sql.find(tag, i + 1);
        m_pos = close == std::string::npos ? m_sql.size() : close + tag.size();
        return true;
    }

    const std::string& m_sql;
    const Dialect m_dialect;
    std::size_t m_pos = 0;
};

std::string lineOf(const std::string& sql, std::size_t offset) {
    if (sql.find('\n') == std::string::npos) return std::string();
    return " (linha " + std::to_string(1 + std::count(sql.begin(), sql.begin() + long(offset), '\n')) + " do SQL)";
}

}  // namespace

namespace {

void checkAs(const std::string& sql, Dialect dialect) {
    const std::vector<Token> tokens = Scanner(sql, dialect).tokens();
    if (tokens.empty() || (tokens[0].word != "SELECT" && tokens[0].word != "WITH")) {
        const std::string found = tokens.empty() ? std::string(";") : tokens[0].word.empty() ? ";" : tokens[0].word;
        throw std::invalid_argument(
            "o SQL de um relatório só pode consultar dados: deve começar por SELECT ou WITH, "
            "não por '" +
            found + "'" + lineOf(sql, tokens.empty() ? 0 : tokens[0].offset));
    }
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        if (t.word.empty()) {
            auto next =
                std::find_if(tokens.begin() + long(i), tokens.end(), [](const Token& k) { return !k.word.empty(); });
            if (next != tokens.end())
                throw std::invalid_argument("o SQL de um relatório deve ser uma única consulta: há outro comando ('" +
                                            next->word + "') depois do ';'" + lineOf(sql, next->offset));
            return;
        }
        // Firebird's sequences move outside any transaction, read-only too.
        const bool nextValue = t.word == "NEXT" && i + 1 < tokens.size() && tokens[i + 1].word == "VALUE";
        if (nextValue || std::find(kForbidden.begin(), kForbidden.end(), t.word) != kForbidden.end())
            throw std::invalid_argument("o SQL de um relatório só pode consultar dados: '" + t.word +
                                        "' não é permitido" + lineOf(sql, t.offset));
    }
}

}  // namespace

// A definition runs on whichever engine the host has: the text must pass as
// each of them reads it.
void checkReadOnlyQuery(const std::string& sql) {
    checkAs(sql, Dialect::SQLite);
    checkAs(sql, Dialect::PostgreSQL);
    checkAs(sql, Dialect::Firebird);
}

}  // namespace pla013::reports::internal
