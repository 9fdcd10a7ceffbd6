#include "platform/runtime/PrintableStream.h"

#include <cstdio>

namespace pla013::runtime {

namespace {

bool isControl(unsigned char c) { return (c < 0x20 && c != '\n' && c != '\t') || c == 0x7f; }

std::string escaped(unsigned char c) {
    char text[8];
    std::snprintf(text, sizeof text, "\\x%02x", unsigned(c));
    return text;
}

}  // namespace

std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text)
        if (isControl(static_cast<unsigned char>(c)))
            out += escaped(static_cast<unsigned char>(c));
        else
            out += c;
    return out;
}

PrintableStream::PrintableStream(std::ostream& target) : std::ostream(this), m_target(target) {}

void PrintableStream::carriageReturn(std::ostream& stream) {
    if (auto* printable = dynamic_cast<PrintableStream*>(&stream))
        printable->m_target << '\r';
    else
        stream << '\r';
}

std::streambuf::int_type PrintableStream::overflow(std::streambuf::int_type c) {
    using traits = std::streambuf::traits_type;
    if (traits::eq_int_type(c, traits::eof())) return traits::not_eof(c);
    const char ch = traits::to_char_type(c);
    xsputn(&ch, 1);
    return m_target ? c : traits::eof();
}

std::streamsize PrintableStream::xsputn(const char* data, std::streamsize size) {
    std::streamsize plain = 0;  // start of the run of bytes written as they are
    for (std::streamsize i = 0; i < size; ++i) {
        const auto c = static_cast<unsigned char>(data[i]);
        if (!isControl(c)) continue;
        m_target.write(data + plain, i - plain);
        m_target << escaped(c);
        plain = i + 1;
    }
    m_target.write(data + plain, size - plain);
    return m_target ? size : 0;
}

int PrintableStream::sync() {
    m_target.flush();
    return m_target ? 0 : -1;
}

}  // namespace pla013::runtime
