#include "platform/appserver/PasswordHash.h"

#include <sodium.h>

#include <cctype>
#include <stdexcept>

namespace pla013::appserver {

namespace {

void initialise() {
    static const int ready = sodium_init();
    if (ready < 0) throw std::runtime_error("a biblioteca libsodium não pôde ser iniciada");
}

// Code points, not bytes: "ção" is three characters.
std::size_t characters(const std::string& text) {
    std::size_t n = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

std::string folded(const std::string& text) {
    std::string out;
    for (unsigned char c : text)
        if (!std::isspace(c)) out += char(std::tolower(c));
    return out;
}

}  // namespace

PasswordCost PasswordCost::interactive() {
    return {crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE};
}

PasswordCost PasswordCost::minimum() { return {crypto_pwhash_OPSLIMIT_MIN, crypto_pwhash_MEMLIMIT_MIN}; }

PasswordHash::PasswordHash(PasswordCost cost) : m_cost(cost) {
    initialise();
    m_dummy = hash("-");
}

std::string PasswordHash::hash(const std::string& password) const {
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, password.data(), password.size(), m_cost.opsLimit, m_cost.memLimit) != 0)
        throw std::runtime_error("crypto_pwhash_str falhou (memória insuficiente)");
    return out;
}

bool PasswordHash::verify(const std::string& hash, const std::string& password) const {
    if (hash.empty() || hash.size() >= crypto_pwhash_STRBYTES) return false;
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

bool PasswordHash::needsRehash(const std::string& hash) const {
    return crypto_pwhash_str_needs_rehash(hash.c_str(), m_cost.opsLimit, m_cost.memLimit) != 0;
}

void PasswordHash::verifyNothing(const std::string& password) const { (void)verify(m_dummy, password + "-"); }

std::optional<std::string> PasswordHash::weakness(const std::string& password, const std::string& operatorCode,
                                                  const std::string& operatorName) {
    if (characters(password) < 10) return "A senha precisa ter pelo menos 10 caracteres.";
    const std::string p = folded(password);
    if (p == folded(operatorCode)) return "A senha não pode ser o código do operador.";
    if (!operatorName.empty() && p == folded(operatorName)) return "A senha não pode ser o nome do operador.";
    if (password.find('\n') != std::string::npos || password.find('\0') != std::string::npos)
        return "A senha não pode ter quebras de linha.";
    return std::nullopt;
}

}  // namespace pla013::appserver
