#include "host/internal/FilterExpression.h"

#include <cctype>

#include "host/Errors.h"
#include "host/internal/DataValues.h"

namespace pla013::host::internal {

namespace {

enum class CompareOp { Eq, Ne, Lt, Le, Gt, Ge };

struct Operand {
    bool isField = false;
    std::string text;       // field name, or the literal as written (quotes undone)
    bool isNumber = false;  // numeric literal
    int column = -1;        // resolved field
    Variant value;          // literal converted for the field it is compared with
};

}  // namespace

// A node of the parsed tree: a comparison, or AND / OR / NOT of nodes.
struct FilterExpr {
    enum class Kind { And, Or, Not, Compare } kind = Kind::Compare;
    std::unique_ptr<FilterExpr> left, right;
    CompareOp op = CompareOp::Eq;
    Operand a, b;
};

namespace {

class FilterParser {
public:
    explicit FilterParser(const std::string& text) : m_text(text) { advance(); }

    std::unique_ptr<FilterExpr> parse() {
        auto e = parseOr();
        if (m_tok.kind != Tok::End) fail("elemento inesperado: " + describe(m_tok));
        return e;
    }

private:
    enum class Tok { End, Ident, String, Number, LParen, RParen, Op, And, Or, Not };
    struct Token {
        Tok kind = Tok::End;
        std::string text;
        CompareOp op = CompareOp::Eq;
        std::size_t pos = 0;
    };

    [[noreturn]] void fail(const std::string& reason) { throw FilterSyntaxError{reason}; }

    static std::string describe(const Token& t) {
        switch (t.kind) {
            case Tok::End: return "o fim do texto";
            case Tok::String: return "'" + t.text + "'";
            case Tok::LParen: return "'('";
            case Tok::RParen: return "')'";
            default: return "'" + t.text + "' na posição " + std::to_string(t.pos + 1);
        }
    }

    void advance() {
        std::size_t& i = m_pos;
        while (i < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[i]))) ++i;
        m_tok = Token{};
        m_tok.pos = i;
        if (i >= m_text.size()) return;
        const char c = m_text[i];
        if (c == '\'') {
            std::string value;
            ++i;
            for (;;) {
                if (i >= m_text.size())
                    fail("texto entre aspas sem fechamento, iniciado na posição " + std::to_string(m_tok.pos + 1));
                if (m_text[i] == '\'') {
                    if (i + 1 < m_text.size() && m_text[i + 1] == '\'') {
                        value += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += m_text[i++];
            }
            m_tok.kind = Tok::String;
            m_tok.text = std::move(value);
            return;
        }
        if (c == '(' || c == ')') {
            m_tok.kind = c == '(' ? Tok::LParen : Tok::RParen;
            m_tok.text = std::string(1, c);
            ++i;
            return;
        }
        if (c == '=' || c == '<' || c == '>') {
            m_tok.kind = Tok::Op;
            const char n = i + 1 < m_text.size() ? m_text[i + 1] : '\0';
            if (c == '=') {
                m_tok.op = CompareOp::Eq;
                i += 1;
            } else if (c == '<' && n == '>') {
                m_tok.op = CompareOp::Ne;
                i += 2;
            } else if (c == '<' && n == '=') {
                m_tok.op = CompareOp::Le;
                i += 2;
            } else if (c == '>' && n == '=') {
                m_tok.op = CompareOp::Ge;
                i += 2;
            } else if (c == '<') {
                m_tok.op = CompareOp::Lt;
                i += 1;
            } else {
                m_tok.op = CompareOp::Gt;
                i += 1;
            }
            m_tok.text = m_text.substr(m_tok.pos, i - m_tok.pos);
            return;
        }
        const bool digit = c >= '0' && c <= '9';
        const bool signedNumber = (c == '-' || c == '+') && i + 1 < m_text.size() &&
                                  ((m_text[i + 1] >= '0' && m_text[i + 1] <= '9') || m_text[i + 1] == '.');
        if (digit || signedNumber ||
            (c == '.' && i + 1 < m_text.size() && m_text[i + 1] >= '0' && m_text[i + 1] <= '9')) {
            std::size_t j = i + (signedNumber ? 1 : 0);
            bool dot = false;
            while (j < m_text.size() && ((m_text[j] >= '0' && m_text[j] <= '9') || (m_text[j] == '.' && !dot))) {
                if (m_text[j] == '.') dot = true;
                ++j;
            }
            m_tok.kind = Tok::Number;
            m_tok.text = m_text.substr(i, j - i);
            i = j;
            return;
        }
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            std::size_t j = i;
            while (j < m_text.size() && (std::isalnum(static_cast<unsigned char>(m_text[j])) || m_text[j] == '_')) ++j;
            m_tok.text = m_text.substr(i, j - i);
            i = j;
            if (sameName(m_tok.text, "AND"))
                m_tok.kind = Tok::And;
            else if (sameName(m_tok.text, "OR"))
                m_tok.kind = Tok::Or;
            else if (sameName(m_tok.text, "NOT"))
                m_tok.kind = Tok::Not;
            else
                m_tok.kind = Tok::Ident;
            return;
        }
        fail("caractere inesperado '" + std::string(1, c) + "' na posição " + std::to_string(i + 1));
    }

    std::unique_ptr<FilterExpr> parseOr() {
        auto left = parseAnd();
        while (m_tok.kind == Tok::Or) {
            advance();
            auto node = std::make_unique<FilterExpr>();
            node->kind = FilterExpr::Kind::Or;
            node->left = std::move(left);
            node->right = parseAnd();
            left = std::move(node);
        }
        return left;
    }

    std::unique_ptr<FilterExpr> parseAnd() {
        auto left = parseNot();
        while (m_tok.kind == Tok::And) {
            advance();
            auto node = std::make_unique<FilterExpr>();
            node->kind = FilterExpr::Kind::And;
            node->left = std::move(left);
            node->right = parseNot();
            left = std::move(node);
        }
        return left;
    }

    std::unique_ptr<FilterExpr> parseNot() {
        if (m_tok.kind == Tok::Not) {
            advance();
            auto node = std::make_unique<FilterExpr>();
            node->kind = FilterExpr::Kind::Not;
            node->left = parseNot();
            return node;
        }
        if (m_tok.kind == Tok::LParen) {
            advance();
            auto inner = parseOr();
            if (m_tok.kind != Tok::RParen) fail("esperado ')', mas foi encontrado " + describe(m_tok));
            advance();
            return inner;
        }
        return parseComparison();
    }

    Operand parseOperand() {
        Operand o;
        switch (m_tok.kind) {
            case Tok::Ident: o.isField = true; break;
            case Tok::String: break;
            case Tok::Number: o.isNumber = true; break;
            default: fail("esperado um nome de campo ou um valor, mas foi encontrado " + describe(m_tok));
        }
        o.text = m_tok.text;
        advance();
        return o;
    }

    std::unique_ptr<FilterExpr> parseComparison() {
        auto node = std::make_unique<FilterExpr>();
        node->kind = FilterExpr::Kind::Compare;
        node->a = parseOperand();
        if (m_tok.kind != Tok::Op) fail("esperado um operador de comparação, mas foi encontrado " + describe(m_tok));
        node->op = m_tok.op;
        advance();
        node->b = parseOperand();
        if (!node->a.isField && !node->b.isField) fail("uma comparação precisa de um nome de campo");
        return node;
    }

    const std::string& m_text;
    std::size_t m_pos = 0;
    Token m_tok;
};

bool applyOp(CompareOp op, int c) {
    switch (op) {
        case CompareOp::Eq: return c == 0;
        case CompareOp::Ne: return c != 0;
        case CompareOp::Lt: return c < 0;
        case CompareOp::Le: return c <= 0;
        case CompareOp::Gt: return c > 0;
        case CompareOp::Ge: return c >= 0;
    }
    return false;
}

// A comparison with a null field is false, whatever the operator, so that a
// filter never selects rows through missing values; NOT inverts the result.
// fieldView(column) gives the row's value of a field.
template <class FieldView>
bool evaluate(const FilterExpr& e, const FieldView& fieldView) {
    switch (e.kind) {
        case FilterExpr::Kind::And: return evaluate(*e.left, fieldView) && evaluate(*e.right, fieldView);
        case FilterExpr::Kind::Or: return evaluate(*e.left, fieldView) || evaluate(*e.right, fieldView);
        case FilterExpr::Kind::Not: return !evaluate(*e.left, fieldView);
        case FilterExpr::Kind::Compare: {
            const ValueView x = e.a.isField ? fieldView(std::size_t(e.a.column)) : viewOf(e.a.value);
            const ValueView y = e.b.isField ? fieldView(std::size_t(e.b.column)) : viewOf(e.b.value);
            if (x.isNull() || y.isNull()) return false;
            return applyOp(e.op, compareViews(x, y));
        }
    }
    return false;
}

// Equality comparisons of fields with literals joined only by AND: such a
// filter is answered from a hash of the compared fields.
bool collectEqualities(const FilterExpr& e, std::vector<int>& columns, std::vector<Variant>& values) {
    if (e.kind == FilterExpr::Kind::And)
        return collectEqualities(*e.left, columns, values) && collectEqualities(*e.right, columns, values);
    if (e.kind != FilterExpr::Kind::Compare || e.op != CompareOp::Eq || e.a.isField == e.b.isField) return false;
    const Operand& field = e.a.isField ? e.a : e.b;
    const Operand& literal = e.a.isField ? e.b : e.a;
    if (isBlank(literal.value)) return false;
    columns.push_back(field.column);
    values.push_back(literal.value);
    return true;
}

}  // namespace

FilterExpression::FilterExpression(std::string text) : m_text(std::move(text)) {
    m_root = FilterParser(m_text).parse();
}

FilterExpression::~FilterExpression() = default;

void FilterExpression::resolve(const std::string& owner, const std::function<int(const std::string&)>& columnOf,
                               const std::function<const FieldDef&(int)>& defOf) {
    const std::string& text = m_text;
    auto resolveOperand = [&](Operand& o) {
        if (!o.isField) return;
        o.column = columnOf(o.text);
        if (o.column < 0)
            throw EHostError(owner + ": campo '" + o.text + "' do filtro \"" + text + "\" não encontrado.");
    };
    auto convertLiteral = [&](Operand& literal, const Operand& field) {
        if (literal.isField) return;
        if (!field.isField) {
            literal.value = literal.isNumber ? Variant(Variant(literal.text).toDouble()) : Variant(literal.text);
            return;
        }
        const FieldDef& def = defOf(field.column);
        try {
            literal.value = coerce(Variant(literal.text), def.type);
        } catch (const EVariantError&) {
            throw EHostError(owner + ": valor '" + literal.text + "' do filtro \"" + text +
                             "\" não é compatível com o campo '" + def.name + "' (" + FieldTypeName(def.type) + ").");
        }
    };
    std::vector<FilterExpr*> stack{m_root.get()};
    while (!stack.empty()) {
        FilterExpr* e = stack.back();
        stack.pop_back();
        if (!e) continue;
        if (e->kind == FilterExpr::Kind::Compare) {
            resolveOperand(e->a);
            resolveOperand(e->b);
            convertLiteral(e->a, e->b);
            convertLiteral(e->b, e->a);
        } else {
            stack.push_back(e->left.get());
            stack.push_back(e->right.get());
        }
    }
}

bool FilterExpression::matches(const std::vector<Variant>& row) const {
    return evaluate(*m_root, [&row](std::size_t c) { return viewOf(row[c]); });
}

bool FilterExpression::matches(const CompactPacket& rows, std::size_t row) const {
    return evaluate(*m_root, [&](std::size_t c) { return rows.view(row, c); });
}

bool FilterExpression::equalities(std::vector<int>& columns, std::vector<Variant>& values) const {
    return collectEqualities(*m_root, columns, values);
}

}  // namespace pla013::host::internal
