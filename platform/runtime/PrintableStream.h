#pragma once
// What the command line prints reaches a terminal, which obeys control
// characters: a server's message, a file name or a database value holding an
// escape sequence or a carriage return could rewrite or hide what the user
// reads. Every line the command line prints passes through this one stream:
// the C0 controls other than newline and tab, and DEL, come out as "\xNN";
// every other byte (UTF-8 included) as it is.

#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>

namespace pla013::runtime {

// text with its control characters written as "\xNN".
std::string printable(std::string_view text);

class PrintableStream : private std::streambuf, public std::ostream {
public:
    // Writes to target, unbuffered, so that the order with anything written
    // to target directly is kept.
    explicit PrintableStream(std::ostream& target);
    PrintableStream(const PrintableStream&) = delete;
    PrintableStream& operator=(const PrintableStream&) = delete;

    // A carriage return that rewrites a progress line: only our own code
    // writes one, through here; on any other stream it is written as is.
    static void carriageReturn(std::ostream& stream);

private:
    std::streambuf::int_type overflow(std::streambuf::int_type c) override;
    std::streamsize xsputn(const char* data, std::streamsize size) override;
    int sync() override;

    std::ostream& m_target;
};

}  // namespace pla013::runtime
