#pragma once
// The text of a call's success answer, encodeCallResult(result), made a
// piece at a time: a large answer goes out while it is written, and its text
// is never held whole beside the value it comes from (nor a JSON tree of it).
// The pieces joined are exactly encodeCallResult's text.

#include <cstddef>
#include <string>
#include <vector>

#include "host/Variant.h"

namespace pla013::net {

class ResultEncoder {
public:
    explicit ResultEncoder(host::Variant result);
    ~ResultEncoder();
    ResultEncoder(const ResultEncoder&) = delete;
    ResultEncoder& operator=(const ResultEncoder&) = delete;

    // Appends the next part of the text to out: at least `bytes` of it (one
    // packet row more at most), less only at the end. False once the text is
    // complete. ProtocolError, as encodeCallResult, when the value cannot be
    // encoded (then the encoder is of no further use).
    bool next(std::string& out, std::size_t bytes);

    // Whether encoding result would succeed; the ProtocolError it would
    // raise otherwise. Encodes and forgets the text, so it costs what
    // encoding does: for a large answer that must be known good before the
    // first byte goes out.
    static void check(const host::Variant& result);

private:
    struct Frame {
        const host::Variant* value;
        int depth;
        std::size_t index = 0;  // next element or row
        bool opened = false;
    };
    std::string path() const;
    void step(std::string& out);

    host::Variant m_result;
    std::vector<Frame> m_stack;
    bool m_started = false;
    bool m_done = false;
};

}  // namespace pla013::net
