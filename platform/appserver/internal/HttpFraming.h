#pragma once
// How the server reads where a request begins and ends, one place for the
// connections and for the fuzz target of the framing: the parser's limits,
// the rules beyond what the parser checks, and which refusal each failure
// calls for.
//
// Beyond the parser: a Transfer-Encoding other than exactly "chunked" (a
// coding the server does not know, "chunked" not last, or several fields),
// and a Transfer-Encoding together with a Content-Length, are refused (400):
// a proxy in front might read the body's end elsewhere than the server, and
// what one of them takes as a second request the other would not see.

#include <optional>

#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/system/error_code.hpp>

#include "platform/appserver/internal/HttpServer.h"

namespace pla013::appserver::internal {

using RequestParser = boost::beast::http::request_parser<boost::beast::http::string_body>;

// Sets the header and body limits of a parser for one request.
void limitParser(RequestParser& parser, const HttpLimits& limits);

// Once the header is read: the refusal its framing or its target calls for.
std::optional<Refusal> framingRefusal(const RequestParser& parser, const HttpLimits& limits);

// The refusal a parse error calls for (a header over the limit whose
// request line never ended or whose target is too long is TargetTooLong).
Refusal refusalOf(boost::system::error_code error, const RequestParser& parser, const HttpLimits& limits);

}  // namespace pla013::appserver::internal
