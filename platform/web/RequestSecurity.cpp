#include "platform/web/RequestSecurity.h"

#include <algorithm>

#include <sodium.h>

namespace pla013::web {

namespace {

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// Letters, digits, '-' and '_': what our tokens are made of.
bool tokenText(const std::string& s) {
    return !s.empty() && s.size() <= 256 && std::all_of(s.begin(), s.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    });
}

}  // namespace

std::string RequestSecurity::sessionToken(const internal::HttpRequest& request) {
    for (const auto& [name, value] : request.headers) {
        if (name != "cookie") continue;
        std::size_t start = 0;
        while (start <= value.size()) {
            const auto end = std::min(value.find(';', start), value.size());
            const std::string pair = trim(value.substr(start, end - start));
            const auto eq = pair.find('=');
            if (eq != std::string::npos && pair.substr(0, eq) == kCookie) {
                const std::string token = pair.substr(eq + 1);
                if (tokenText(token)) return token;
            }
            start = end + 1;
        }
    }
    return {};
}

std::string RequestSecurity::sessionCookie(const std::string& token, bool secure, long long maxAgeSeconds) {
    return std::string(kCookie) + "=" + token + "; Path=/; Max-Age=" + std::to_string(maxAgeSeconds) +
           "; HttpOnly; SameSite=Strict" + (secure ? "; Secure" : "");
}

std::string RequestSecurity::endedCookie(bool secure) {
    return std::string(kCookie) + "=; Path=/; Max-Age=0; HttpOnly; SameSite=Strict" + (secure ? "; Secure" : "");
}

std::string RequestSecurity::csrfToken(const std::string& sessionToken) {
    static const char kPurpose[] = "pla013-web csrf";
    unsigned char digest[32];
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, sizeof digest);
    crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(kPurpose), sizeof kPurpose);
    crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(sessionToken.data()), sessionToken.size());
    crypto_generichash_final(&state, digest, sizeof digest);
    char hex[sizeof digest * 2 + 1];
    sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
    return hex;
}

bool RequestSecurity::csrfMatches(const internal::HttpRequest& request, const std::string& sessionToken) {
    const std::string given = request.header("x-csrf-token");
    const std::string expected = csrfToken(sessionToken);
    return given.size() == expected.size() && sodium_memcmp(given.data(), expected.data(), given.size()) == 0;
}

bool RequestSecurity::originAllowed(const internal::HttpRequest& request, const std::vector<std::string>& origins) {
    const std::string site = request.header("sec-fetch-site");
    if (!site.empty() && site != "same-origin" && site != "none") return false;
    const std::string origin = request.header("origin");
    if (origin.empty() || origin == "null") return false;
    if (std::find(origins.begin(), origins.end(), origin) != origins.end()) return true;
    const auto scheme = origin.find("://");
    if (scheme == std::string::npos) return false;
    const std::string authority = origin.substr(scheme + 3);
    const std::string host = request.header("host");
    return !host.empty() && authority == host;
}

void RequestSecurity::addStandardHeaders(internal::HttpResponse& response, bool secure) {
    auto has = [&response](const char* name) {
        return std::any_of(response.headers.begin(), response.headers.end(),
                           [name](const auto& h) { return h.first == name; });
    };
    response.headers.emplace_back("X-Content-Type-Options", "nosniff");
    response.headers.emplace_back("Referrer-Policy", "no-referrer");
    if (!has("X-Frame-Options")) response.headers.emplace_back("X-Frame-Options", "DENY");
    if (!has("Content-Security-Policy"))
        response.headers.emplace_back("Content-Security-Policy",
                                      "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
                                      "connect-src 'self'; frame-src 'self'; form-action 'self'; base-uri 'none'; "
                                      "frame-ancestors 'none'");
    if (!has("Cache-Control")) response.headers.emplace_back("Cache-Control", "no-store");
    if (secure) response.headers.emplace_back("Strict-Transport-Security", "max-age=31536000");
}

}  // namespace pla013::web
