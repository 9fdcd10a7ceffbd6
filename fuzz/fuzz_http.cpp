// The framing of requests as the application server reads them off a
// connection: the parser with the server's limits and its own rules
// (internal/HttpFraming.h), fed in pieces of the size a socket might hand
// over, request after request as a pipelining client sends them. A refusal
// ends the connection, as it does in the server; what is accepted must keep
// the limits and carry at most one framing, or the run stops.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <boost/asio/buffer.hpp>
#include <boost/beast/core/string.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/field.hpp>

#include "platform/appserver/internal/HttpFraming.h"

namespace {

namespace http = boost::beast::http;
using pla013::appserver::internal::HttpLimits;
using pla013::appserver::internal::RequestParser;

void require(bool holds) {
    if (!holds) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    HttpLimits limits;
    limits.maxHeaderBytes = 1024;
    limits.maxTargetBytes = 128;
    limits.maxBodyBytes = 4096;
    // The first byte is the size of the pieces the socket hands over.
    const std::size_t piece = std::size_t(data[0] % 64) + 1;
    const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);

    std::size_t offered = 0;  // bytes of input the "socket" has delivered
    std::string pending;      // delivered, not yet taken by a parser
    for (int requests = 0; requests < 64; ++requests) {
        RequestParser parser;
        pla013::appserver::internal::limitParser(parser, limits);
        parser.eager(true);
        bool headerChecked = false;
        for (;;) {
            boost::system::error_code ec;
            const std::size_t used = pending.empty() ? 0 : parser.put(boost::asio::buffer(pending), ec);
            pending.erase(0, used);
            if (ec && ec != http::error::need_more) {
                pla013::appserver::internal::refusalOf(ec, parser, limits);
                return 0;  // refused: the connection closes
            }
            if (parser.is_header_done() && !headerChecked) {
                headerChecked = true;
                if (pla013::appserver::internal::framingRefusal(parser, limits)) return 0;
            }
            if (parser.is_done()) break;
            if (ec != http::error::need_more && used > 0) continue;
            if (offered == input.size()) {
                parser.put_eof(ec);
                return 0;  // the client went away mid-request
            }
            const std::size_t n = std::min(piece, input.size() - offered);
            pending.append(input, offered, n);
            offered += n;
        }
        const auto& request = parser.get();
        require(request.body().size() <= limits.maxBodyBytes);
        require(request.target().size() <= limits.maxTargetBytes);
        const std::size_t codings = request.count(http::field::transfer_encoding);
        require(codings == 0 || (codings == 1 && request.count(http::field::content_length) == 0));
    }
    return 0;
}
