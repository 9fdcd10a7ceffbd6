#pragma once
// The browser's side of a session: the cookie that carries it, the token
// that every state-changing request must repeat, and the origin such a
// request must come from.
//
// The cookie holds the application server's session token (the one that
// signing in gives, kept in the database only as a hash), so every web host
// over one database accepts it; it is HttpOnly, SameSite=Strict, and Secure
// unless the host serves plain HTTP on loopback (development). The CSRF
// token is derived from the session token, so it needs no storage either,
// and only a page of this origin can read it (from /api/session).

#include <string>
#include <vector>

#include "platform/web/internal/HttpListener.h"

namespace pla013::web {

class RequestSecurity {
public:
    static constexpr const char* kCookie = "pla013";

    // The session token of the request's cookie; empty without one.
    static std::string sessionToken(const internal::HttpRequest& request);
    // Set-Cookie values: the session, with its longest life; and its end.
    static std::string sessionCookie(const std::string& token, bool secure, long long maxAgeSeconds);
    static std::string endedCookie(bool secure);

    // The CSRF token of a session.
    static std::string csrfToken(const std::string& sessionToken);
    // Whether the request repeats its session's CSRF token (X-CSRF-Token).
    static bool csrfMatches(const internal::HttpRequest& request, const std::string& sessionToken);

    // Whether a state-changing request comes from a page of this host: its
    // Origin names the host the request was sent to (the Host field), or one
    // of the origins given (a proxy that rewrites Host); a fetch the browser
    // marks as cross-site is refused whatever it says.
    static bool originAllowed(const internal::HttpRequest& request, const std::vector<std::string>& origins);

    // Fields every answer carries: no sniffing, no referrer, no framing by
    // other sites, and the page's content policy.
    static void addStandardHeaders(internal::HttpResponse& response, bool secure);
};

}  // namespace pla013::web
