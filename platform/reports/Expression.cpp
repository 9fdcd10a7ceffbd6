#include "platform/reports/Expression.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <stdexcept>

namespace pla013::reports {

struct Expression::Node {
    char op = 0;  // 0 number, 'n' name, '+', '-', '*', '/', 'u' unary minus
    double number = 0;
    std::string name;
    std::unique_ptr<Node> left, right;
    int height = 1;  // nodes on the longest path down, this one included
};

namespace {

// Parsing recurses once per parenthesis and unary minus, and evaluating (and
// destroying) a tree recurses once per level: both stay far from the end of
// the stack, also in the sanitizer build, whatever a definition holds.
constexpr int kMaxNesting = 200;
constexpr int kMaxHeight = 1000;

class Parser {
public:
    explicit Parser(const std::string& text) : m_text(text) {}

    std::unique_ptr<Expression::Node> parseAll(std::vector<std::string>& names) {
        m_names = &names;
        auto node = parseSum();
        skipBlanks();
        if (m_pos != m_text.size()) fail("caractere inesperado '" + std::string(1, m_text[m_pos]) + "'");
        return node;
    }

private:
    [[noreturn]] void fail(const std::string& what) const {
        throw std::invalid_argument(what + " na posição " + std::to_string(m_pos + 1));
    }
    void skipBlanks() {
        while (m_pos < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_pos]))) ++m_pos;
    }
    // Counts the parentheses and unary minus signs open at a point of the text.
    class Nesting {
    public:
        explicit Nesting(Parser& p) : m_p(p) {
            if (++m_p.m_nesting > kMaxNesting)
                m_p.fail("expressão aninhada demais (o limite é " + std::to_string(kMaxNesting) +
                         " níveis de parênteses e sinais)");
        }
        ~Nesting() { --m_p.m_nesting; }
        Nesting(const Nesting&) = delete;
        Nesting& operator=(const Nesting&) = delete;

    private:
        Parser& m_p;
    };

    std::unique_ptr<Expression::Node> node(char op, std::unique_ptr<Expression::Node> l,
                                           std::unique_ptr<Expression::Node> r) {
        auto n = std::make_unique<Expression::Node>();
        n->op = op;
        n->height = 1 + std::max(l ? l->height : 0, r ? r->height : 0);
        if (n->height > kMaxHeight)
            fail("expressão longa demais (o limite é " + std::to_string(kMaxHeight) + " operações encadeadas)");
        n->left = std::move(l);
        n->right = std::move(r);
        return n;
    }

    std::unique_ptr<Expression::Node> parseSum() {
        auto left = parseProduct();
        for (;;) {
            skipBlanks();
            if (m_pos < m_text.size() && (m_text[m_pos] == '+' || m_text[m_pos] == '-')) {
                char op = m_text[m_pos++];
                left = node(op, std::move(left), parseProduct());
            } else {
                return left;
            }
        }
    }
    std::unique_ptr<Expression::Node> parseProduct() {
        auto left = parseUnary();
        for (;;) {
            skipBlanks();
            if (m_pos < m_text.size() && (m_text[m_pos] == '*' || m_text[m_pos] == '/')) {
                char op = m_text[m_pos++];
                left = node(op, std::move(left), parseUnary());
            } else {
                return left;
            }
        }
    }
    std::unique_ptr<Expression::Node> parseUnary() {
        skipBlanks();
        if (m_pos < m_text.size() && m_text[m_pos] == '-') {
            ++m_pos;
            Nesting nesting(*this);
            return node('u', parseUnary(), nullptr);
        }
        return parsePrimary();
    }
    std::unique_ptr<Expression::Node> parsePrimary() {
        skipBlanks();
        if (m_pos >= m_text.size()) fail("fim inesperado da expressão");
        char c = m_text[m_pos];
        if (c == '(') {
            ++m_pos;
            Nesting nesting(*this);
            auto n = parseSum();
            skipBlanks();
            if (m_pos >= m_text.size() || m_text[m_pos] != ')') fail("falta ')'");
            ++m_pos;
            return n;
        }
        if (std::isdigit(static_cast<unsigned char>(c)) || c == '.') {
            std::size_t start = m_pos;
            while (m_pos < m_text.size() &&
                   (std::isdigit(static_cast<unsigned char>(m_text[m_pos])) || m_text[m_pos] == '.'))
                ++m_pos;
            auto n = std::make_unique<Expression::Node>();
            try {
                std::size_t used = 0;
                std::string lit = m_text.substr(start, m_pos - start);
                n->number = std::stod(lit, &used);
                if (used != lit.size()) fail("número inválido '" + lit + "'");
            } catch (const std::logic_error&) {
                m_pos = start;
                fail("número inválido");
            }
            return n;
        }
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            std::size_t start = m_pos;
            while (m_pos < m_text.size() &&
                   (std::isalnum(static_cast<unsigned char>(m_text[m_pos])) || m_text[m_pos] == '_'))
                ++m_pos;
            auto n = std::make_unique<Expression::Node>();
            n->op = 'n';
            n->name = m_text.substr(start, m_pos - start);
            std::transform(n->name.begin(), n->name.end(), n->name.begin(),
                           [](unsigned char ch) { return char(std::toupper(ch)); });
            if (std::find(m_names->begin(), m_names->end(), n->name) == m_names->end()) m_names->push_back(n->name);
            return n;
        }
        fail("caractere inesperado '" + std::string(1, c) + "'");
    }

    const std::string& m_text;
    std::size_t m_pos = 0;
    int m_nesting = 0;
    std::vector<std::string>* m_names = nullptr;
};

// Null (an unknown value) propagates: any operation with a null operand is
// null, and so is a division by zero.
std::optional<double> evalNode(const Expression::Node& n, const Expression::Resolver& resolve) {
    switch (n.op) {
        case 0: return n.number;
        case 'n': return resolve(n.name);
        case 'u': {
            auto e = evalNode(*n.left, resolve);
            if (e) *e = -*e;
            return e;
        }
        default: break;
    }
    auto l = evalNode(*n.left, resolve);
    if (!l) return std::nullopt;
    auto r = evalNode(*n.right, resolve);
    if (!r) return std::nullopt;
    switch (n.op) {
        case '+': return *l + *r;
        case '-': return *l - *r;
        case '*': return *l * *r;
        case '/':
            if (*r == 0) return std::nullopt;
            return *l / *r;
    }
    return std::nullopt;
}

}  // namespace

Expression::Expression() = default;
Expression::~Expression() = default;

std::shared_ptr<const Expression> Expression::parse(const std::string& text) {
    auto e = std::make_shared<Expression>();
    Parser p(text);
    e->m_root = p.parseAll(e->m_names);
    return e;
}

std::optional<double> Expression::evaluate(const Resolver& resolve) const {
    auto e = evalNode(*m_root, resolve);
    if (!e || !std::isfinite(*e)) return std::nullopt;
    return e;
}

}  // namespace pla013::reports
