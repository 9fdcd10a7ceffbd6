#include "platform/appserver/internal/HttpFraming.h"

#include <boost/beast/core/string.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/field.hpp>

namespace pla013::appserver::internal {

namespace http = boost::beast::http;

namespace {

boost::beast::string_view trimmed(boost::beast::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

}  // namespace

void limitParser(RequestParser& parser, const HttpLimits& limits) {
    parser.header_limit(std::uint32_t(limits.maxHeaderBytes));
    parser.body_limit(limits.maxBodyBytes);
}

std::optional<Refusal> framingRefusal(const RequestParser& parser, const HttpLimits& limits) {
    const auto& request = parser.get();
    if (request.target().size() > limits.maxTargetBytes) return Refusal::TargetTooLong;
    const std::size_t codings = request.count(http::field::transfer_encoding);
    if (codings == 0) return std::nullopt;
    if (codings > 1 || request.count(http::field::content_length) > 0 ||
        !boost::beast::iequals(trimmed(request[http::field::transfer_encoding]), "chunked"))
        return Refusal::BadRequest;
    return std::nullopt;
}

Refusal refusalOf(boost::system::error_code error, const RequestParser& parser, const HttpLimits& limits) {
    if (error == http::error::header_limit) {
        const auto target = parser.get().target();
        return target.empty() || target.size() > limits.maxTargetBytes ? Refusal::TargetTooLong
                                                                       : Refusal::HeaderTooLarge;
    }
    if (error == http::error::body_limit) return Refusal::BodyTooLarge;
    return Refusal::BadRequest;
}

}  // namespace pla013::appserver::internal
