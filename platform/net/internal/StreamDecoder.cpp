#include "platform/net/internal/StreamDecoder.h"

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "platform/net/PacketCodec.h"
#include "platform/net/ProtocolError.h"
#include "platform/net/internal/CodecParts.h"

namespace pla013::net::internal {

using nlohmann::json;

namespace {

enum class Ev { Null, Boolean, Integer, Unsigned, Float, String, StartObject, Key, EndObject, StartArray, EndArray };

struct Event {
    Ev type = Ev::Null;
    bool boolean = false;
    std::int64_t integer = 0;
    std::uint64_t unsignedInteger = 0;
    double number = 0;
    std::string* text = nullptr;  // String and Key; a frame may move from it
};

bool opens(Ev t) { return t == Ev::StartObject || t == Ev::StartArray; }
bool closes(Ev t) { return t == Ev::EndObject || t == Ev::EndArray; }

json scalar(Event& e) {
    switch (e.type) {
        case Ev::Boolean: return json(e.boolean);
        case Ev::Integer: return json(e.integer);
        case Ev::Unsigned: return json(e.unsignedInteger);
        case Ev::Float: return json(e.number);
        case Ev::String: return json(std::move(*e.text));
        default: return json(nullptr);
    }
}

// The reader of one JSON value. Frames form a stack: the top one takes each
// event, and may hand a nested value to a new frame pushed above it.
class Frame {
public:
    virtual ~Frame() = default;
    // Takes one event of this frame's value. Returns the frame that reads a
    // nested value: the member's value after a key, else the value beginning
    // with this event (the event then goes to it).
    virtual std::unique_ptr<Frame> take(Event& e) = 0;
    // The frame pushed last has read its whole value.
    virtual void nestedDone() {}
    // Whether a refusal inside a nested value stops here (see Reader).
    virtual bool catches() const { return false; }
    virtual void failed(std::exception_ptr) {}
    bool done() const { return m_done; }

protected:
    bool m_done = false;
};

// Any value, as a tree. Of duplicate keys the last one counts, as in
// nlohmann-json's own parser.
class TreeFrame : public Frame {
public:
    explicit TreeFrame(json& out) : m_out(out) {}
    std::unique_ptr<Frame> take(Event& e) override {
        switch (e.type) {
            case Ev::StartObject: m_open.push_back(place(json::object())); break;
            case Ev::StartArray: m_open.push_back(place(json::array())); break;
            case Ev::Key: m_key = std::move(*e.text); break;
            case Ev::EndObject:
            case Ev::EndArray: m_open.pop_back(); break;
            default: place(scalar(e)); break;
        }
        m_done = m_open.empty() && e.type != Ev::Key;
        return nullptr;
    }

private:
    json* place(json&& v) {
        if (m_open.empty()) {
            m_out = std::move(v);
            return &m_out;
        }
        json& parent = *m_open.back();
        if (parent.is_object()) return &(parent[m_key] = std::move(v));
        parent.push_back(std::move(v));
        return &parent.back();
    }

    json& m_out;
    std::vector<json*> m_open;  // containers not yet closed, innermost last
    std::string m_key;
};

// Any value, read and forgotten; `open` containers of it are open already.
class SkipFrame : public Frame {
public:
    explicit SkipFrame(int open = 0) : m_open(open) {}
    std::unique_ptr<Frame> take(Event& e) override {
        if (opens(e.type)) ++m_open;
        if (closes(e.type)) --m_open;
        m_done = m_open == 0 && e.type != Ev::Key;
        return nullptr;
    }

private:
    int m_open;
};

// One value of a row as it came: a scalar, or a container held as a tree.
struct RowValue {
    Ev type = Ev::Null;
    bool boolean = false;
    std::int64_t integer = 0;
    std::uint64_t unsignedInteger = 0;
    double number = 0;
    std::string text;
    json tree;

    json toJson() {
        switch (type) {
            case Ev::Boolean: return json(boolean);
            case Ev::Integer: return json(integer);
            case Ev::Unsigned: return json(unsignedInteger);
            case Ev::Float: return json(number);
            case Ev::String: return json(std::move(text));
            case Ev::StartObject:
            case Ev::StartArray: return std::move(tree);
            default: return json(nullptr);
        }
    }

    // The value for a field of this type when it plainly is one (the common
    // case, read without a tree); false leaves the decision, and the words of
    // a refusal, to the tree decoder's check.
    bool plain(host::FieldType type, host::Variant& out) {
        using T = host::FieldType;
        const bool isNumber = this->type == Ev::Integer || this->type == Ev::Unsigned || this->type == Ev::Float;
        const double asDouble = this->type == Ev::Integer    ? double(integer)
                                : this->type == Ev::Unsigned ? double(unsignedInteger)
                                                             : number;
        if (this->type == Ev::Null) {
            out = host::Variant::null();
            return true;
        }
        switch (type) {
            case T::String:
                if (this->type != Ev::String) return false;
                out = host::Variant(std::move(text));
                return true;
            case T::Integer:
                if (this->type == Ev::Integer)
                    out = host::Variant(integer);
                else if (this->type == Ev::Unsigned && unsignedInteger <= std::uint64_t(INT64_MAX))
                    out = host::Variant(std::int64_t(unsignedInteger));
                else
                    return false;
                return true;
            case T::Float:
                if (!isNumber) return false;
                out = host::Variant(asDouble);
                return true;
            case T::Date:
                if (!isNumber) return false;
                out = host::Variant::date(asDouble);
                return true;
        }
        return false;
    }
};

// The rows of a packet whose fields are known: one row at a time, each value
// checked as the tree decoder checks it.
// Rows left to the whole result, shared by its packets; none: no limit.
struct RowBudget {
    std::size_t left;
};

// The rows go into a DataPacket (variants) or, for answers, straight into a
// CompactPacket: a text is then copied from the parser's buffer into the
// packet, with no string of its own on the way.
class RowsFrame : public Frame {
public:
    RowsFrame(host::DataPacket& out, RowBudget* budget)
        : m_out(&out), m_fields(out.fields), m_values(out.fields.size()), m_budget(budget) {}
    RowsFrame(host::CompactPacket& out, RowBudget* budget)
        : m_compact(&out), m_fields(out.fields()), m_values(out.width()), m_budget(budget) {}
    std::unique_ptr<Frame> take(Event& e) override {
        const std::size_t width = m_fields.size();
        if (!m_started) {  // the rows' opening bracket
            m_started = true;
            return nullptr;
        }
        if (!m_inRow) {
            if (e.type == Ev::EndArray) {
                if (m_out) m_out->rows.shrink_to_fit();
                m_done = true;
                return nullptr;
            }
            if (e.type != Ev::StartArray) failRowShape(rowCount(), width);
            if (m_budget) {
                if (m_budget->left == 0) throw TooManyRows("too many rows");
                --m_budget->left;
            }
            m_inRow = true;
            m_count = 0;
            return nullptr;
        }
        if (e.type == Ev::EndArray) {
            if (m_count != width) failRowShape(rowCount(), width);
            if (m_out)
                endRow();
            else
                endCompactRow();
            m_inRow = false;
            return nullptr;
        }
        if (m_count == width) failRowShape(rowCount(), width);
        RowValue& v = m_values[m_count++];
        v.type = e.type;
        switch (e.type) {
            case Ev::StartObject:
            case Ev::StartArray: return std::make_unique<TreeFrame>(v.tree);
            case Ev::Boolean: v.boolean = e.boolean; break;
            case Ev::Integer: v.integer = e.integer; break;
            case Ev::Unsigned: v.unsignedInteger = e.unsignedInteger; break;
            case Ev::Float: v.number = e.number; break;
            case Ev::String:
                if (m_out)
                    v.text = std::move(*e.text);
                else
                    v.text.assign(*e.text);  // the buffer is reused row after row
                break;
            default: break;
        }
        return nullptr;
    }

private:
    std::size_t rowCount() const { return m_out ? m_out->rows.size() : m_compact->rowCount(); }

    void endRow() {
        const std::size_t width = m_fields.size();
        const std::size_t r = m_out->rows.size();
        std::vector<host::Variant> row(width);
        for (std::size_t c = 0; c < width; ++c) {
            if (m_values[c].plain(m_fields[c].type, row[c])) continue;
            json j = m_values[c].toJson();
            row[c] = fieldValueFromJson(j, r, m_fields[c]);
        }
        m_out->rows.push_back(std::move(row));
    }

    // The plain cases of RowValue::plain, written into the cell; the others
    // go through the tree decoder's check, as above.
    void endCompactRow() {
        using T = host::FieldType;
        host::CompactPacket& out = *m_compact;
        const std::size_t r = out.addRow();
        for (std::size_t c = 0; c < m_fields.size(); ++c) {
            RowValue& v = m_values[c];
            const T type = m_fields[c].type;
            switch (v.type) {
                case Ev::Null: continue;
                case Ev::String:
                    if (type != T::String) break;
                    out.setText(r, c, v.text);
                    continue;
                case Ev::Integer:
                    if (type == T::String) break;
                    if (type == T::Integer)
                        out.setInteger(r, c, v.integer);
                    else
                        out.setNumber(r, c, double(v.integer));
                    continue;
                case Ev::Unsigned:
                    if (type == T::String || (type == T::Integer && v.unsignedInteger > std::uint64_t(INT64_MAX)))
                        break;
                    if (type == T::Integer)
                        out.setInteger(r, c, std::int64_t(v.unsignedInteger));
                    else
                        out.setNumber(r, c, double(v.unsignedInteger));
                    continue;
                case Ev::Float:
                    if (type != T::Float && type != T::Date) break;
                    out.setNumber(r, c, v.number);
                    continue;
                default: break;
            }
            json j = v.toJson();
            out.setValue(r, c, fieldValueFromJson(j, r, m_fields[c]));
        }
    }

    host::DataPacket* m_out = nullptr;
    host::CompactPacket* m_compact = nullptr;
    const std::vector<host::FieldDef>& m_fields;
    std::vector<RowValue> m_values;  // the row being read, m_count of them so far
    RowBudget* m_budget;
    std::size_t m_count = 0;
    bool m_started = false;
    bool m_inRow = false;
};

// A data packet: "fields" as a tree (it is small), then "rows" streamed, into
// a DataPacket or a CompactPacket.
class PacketFrame : public Frame {
public:
    explicit PacketFrame(host::DataPacket& out, RowBudget* budget = nullptr) : m_out(&out), m_budget(budget) {}
    explicit PacketFrame(host::CompactPacket& out, RowBudget* budget = nullptr) : m_compact(&out), m_budget(budget) {}
    std::unique_ptr<Frame> take(Event& e) override {
        if (!m_started) {
            m_started = true;
            if (e.type == Ev::StartObject) return nullptr;
            m_whole = true;  // not an object: the tree decoder words the refusal
            return std::make_unique<TreeFrame>(m_tree);
        }
        if (m_rowsNext) {
            m_rowsNext = false;
            if (!m_rowsStreamed && e.type == Ev::StartArray && m_tree.contains("fields") &&
                m_tree["fields"].is_array()) {
                m_rowsStreamed = true;
                if (m_compact) {
                    *m_compact = host::CompactPacket(fieldDefsFromJson(m_tree["fields"]));
                    return std::make_unique<RowsFrame>(*m_compact, m_budget);
                }
                m_out->fields = fieldDefsFromJson(m_tree["fields"]);
                return std::make_unique<RowsFrame>(*m_out, m_budget);
            }
            if (m_rowsStreamed) return std::make_unique<SkipFrame>();
            return std::make_unique<TreeFrame>(m_tree["rows"]);
        }
        switch (e.type) {
            case Ev::Key:
                if (*e.text == "rows") {
                    m_rowsNext = true;
                    return nullptr;
                }
                if (*e.text == "fields" && !m_rowsStreamed) return std::make_unique<TreeFrame>(m_tree["fields"]);
                return std::make_unique<SkipFrame>();
            case Ev::EndObject:
                if (!m_rowsStreamed) fromTree();
                m_done = true;
                return nullptr;
            default: return nullptr;  // cannot happen inside an object
        }
    }
    void nestedDone() override {
        if (!m_whole) return;
        fromTree();
        m_done = true;
    }

private:
    void fromTree() {
        if (m_compact)
            *m_compact = host::CompactPacket::fromPacket(packetFromJson(m_tree));
        else
            *m_out = packetFromJson(m_tree);
    }

    host::DataPacket* m_out = nullptr;
    host::CompactPacket* m_compact = nullptr;
    RowBudget* m_budget;
    json m_tree = json::object();  // the members held as trees
    bool m_started = false;
    bool m_whole = false;
    bool m_rowsNext = false;
    bool m_rowsStreamed = false;
};

class VariantFrame;

// The elements of an array variant.
class ArrayFrame : public Frame {
public:
    ArrayFrame(std::vector<host::Variant>& out, const std::string& path, int depth, RowBudget* budget, bool compact)
        : m_out(out), m_path(path), m_depth(depth), m_budget(budget), m_compact(compact) {}
    std::unique_ptr<Frame> take(Event& e) override;

private:
    std::vector<host::Variant>& m_out;
    const std::string& m_path;
    int m_depth;
    RowBudget* m_budget;
    bool m_compact;
    bool m_started = false;
};

// A variant {"kind": K, "value": V}: an array or a packet streams when its
// kind came first; anything else is decoded from its tree. With compact, a
// streamed packet is read into a CompactPacket.
class VariantFrame : public Frame {
public:
    VariantFrame(host::Variant& out, std::string path, int depth, RowBudget* budget = nullptr, bool compact = false)
        : m_out(out), m_path(std::move(path)), m_depth(depth), m_budget(budget), m_compact(compact) {}
    std::unique_ptr<Frame> take(Event& e) override {
        if (!m_started) {
            if (m_depth > kMaxVariantDepth) failTooDeep(m_path);
            m_started = true;
            if (e.type == Ev::StartObject) return nullptr;
            m_whole = true;
            return std::make_unique<TreeFrame>(m_tree);
        }
        if (m_valueNext) {
            m_valueNext = false;
            const json& kind = m_tree.contains("kind") ? m_tree["kind"] : json();
            if (m_stream == Stream::None && kind == "array" && e.type == Ev::StartArray) {
                m_stream = Stream::Array;
                return std::make_unique<ArrayFrame>(m_items, m_path, m_depth, m_budget, m_compact);
            }
            if (m_stream == Stream::None && kind == "packet") {
                m_stream = Stream::Packet;
                if (m_compact) return std::make_unique<PacketFrame>(m_compactPacket, m_budget);
                return std::make_unique<PacketFrame>(m_packet, m_budget);
            }
            if (m_stream != Stream::None) return std::make_unique<SkipFrame>();
            return std::make_unique<TreeFrame>(m_tree["value"]);
        }
        switch (e.type) {
            case Ev::Key:
                if (*e.text == "value") {
                    m_valueNext = true;
                    return nullptr;
                }
                if (*e.text == "kind" && m_stream == Stream::None) return std::make_unique<TreeFrame>(m_tree["kind"]);
                return std::make_unique<SkipFrame>();
            case Ev::EndObject: finish(); return nullptr;
            default: return nullptr;  // cannot happen inside an object
        }
    }
    void nestedDone() override {
        if (m_whole) finish();
    }

private:
    void finish() {
        switch (m_stream) {
            case Stream::Array: m_out = host::Variant(std::move(m_items)); break;
            case Stream::Packet:
                if (m_compact)
                    m_out = host::Variant(std::shared_ptr<const host::CompactPacket>(
                        std::make_shared<host::CompactPacket>(std::move(m_compactPacket))));
                else
                    m_out = host::Variant(std::shared_ptr<const host::DataPacket>(
                        std::make_shared<host::DataPacket>(std::move(m_packet))));
                break;
            case Stream::None: m_out = variantFromJson(m_tree, m_path, m_depth); break;
        }
        m_done = true;
    }

    enum class Stream { None, Array, Packet };
    host::Variant& m_out;
    const std::string m_path;
    const int m_depth;
    RowBudget* m_budget;
    const bool m_compact;
    json m_tree = json::object();  // the members held as trees
    std::vector<host::Variant> m_items;
    host::DataPacket m_packet;
    host::CompactPacket m_compactPacket;
    Stream m_stream = Stream::None;
    bool m_started = false;
    bool m_whole = false;
    bool m_valueNext = false;
};

std::unique_ptr<Frame> ArrayFrame::take(Event& e) {
    if (!m_started) {  // the opening bracket
        m_started = true;
        return nullptr;
    }
    if (e.type == Ev::EndArray) {
        m_done = true;
        return nullptr;
    }
    const std::size_t i = m_out.size();
    m_out.emplace_back();
    return std::make_unique<VariantFrame>(m_out.back(), m_path + "[" + std::to_string(i) + "]", m_depth + 1, m_budget,
                                          m_compact);
}

// A call answer's members: "error" and "version" as trees, "result" streamed.
// A refused result does not stop the pass: the rest of it is skipped and the
// other members still read, since an error answer or another version takes
// precedence over what is wrong inside the result.
class AnswerFrame : public Frame {
public:
    AnswerFrame(AnswerParts& parts, bool withResult, RowBudget* budget = nullptr)
        : m_parts(parts), m_withResult(withResult), m_budget(budget) {}
    std::unique_ptr<Frame> take(Event& e) override {
        if (!m_started) {
            m_started = true;
            m_parts.object = e.type == Ev::StartObject;
            if (m_parts.object) return nullptr;
            m_whole = true;
            return std::make_unique<SkipFrame>();
        }
        switch (e.type) {
            case Ev::Key:
                if (*e.text == "error") return std::make_unique<TreeFrame>(m_parts.error);
                if (*e.text == "version") return std::make_unique<TreeFrame>(m_parts.version);
                if (*e.text == "result" && m_withResult) {
                    m_parts.hasResult = true;
                    m_parts.result = host::Variant();
                    m_parts.resultFailure = nullptr;
                    return std::make_unique<VariantFrame>(m_parts.result, "resultado", 0, m_budget, true);
                }
                if (*e.text == "result") m_parts.hasResult = true;
                return std::make_unique<SkipFrame>();
            case Ev::EndObject: m_done = true; return nullptr;
            default: return nullptr;  // cannot happen inside an object
        }
    }
    void nestedDone() override { m_done = m_whole; }
    bool catches() const override { return true; }
    void failed(std::exception_ptr failure) override { m_parts.resultFailure = std::move(failure); }

private:
    AnswerParts& m_parts;
    const bool m_withResult;
    RowBudget* m_budget;
    bool m_started = false;
    bool m_whole = false;
};

// The SAX handler: feeds the frames. A refusal (ProtocolError) unwinds the
// frames to the nearest one that catches it, which then skips the rest of
// the refused value; with none, the rest of the text is only checked to be
// JSON, since text that is not JSON is reported as such first.
class Reader {
public:
    explicit Reader(std::unique_ptr<Frame> top) { m_stack.push_back(std::move(top)); }

    bool null() { return feed(Ev::Null); }
    bool boolean(bool v) {
        m_event.boolean = v;
        return feed(Ev::Boolean);
    }
    bool number_integer(json::number_integer_t v) {
        m_event.integer = v;
        return feed(Ev::Integer);
    }
    bool number_unsigned(json::number_unsigned_t v) {
        m_event.unsignedInteger = v;
        return feed(Ev::Unsigned);
    }
    bool number_float(json::number_float_t v, const json::string_t&) {
        m_event.number = v;
        return feed(Ev::Float);
    }
    bool string(json::string_t& v) {
        m_event.text = &v;
        return feed(Ev::String);
    }
    bool binary(json::binary_t&) { return feed(Ev::Null); }  // JSON text has none
    bool start_object(std::size_t) { return feed(Ev::StartObject); }
    bool key(json::string_t& v) {
        m_event.text = &v;
        return feed(Ev::Key);
    }
    bool end_object() { return feed(Ev::EndObject); }
    bool start_array(std::size_t) { return feed(Ev::StartArray); }
    bool end_array() { return feed(Ev::EndArray); }
    bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception& e) {
        m_notJson = true;
        m_byte = position;
        if (dynamic_cast<const json::parse_error*>(&e) == nullptr) m_reason = e.what();
        return false;
    }

    // After the pass: ProtocolError when the text was not JSON or a value
    // was refused with nothing to catch it.
    void check(const std::string& what) const {
        if (m_notJson) {
            if (!m_reason.empty()) throw ProtocolError(errc::BadJson, what + " não é JSON válido: " + m_reason);
            throw ProtocolError(errc::BadJson, what + " não é JSON válido (byte " + std::to_string(m_byte) + ").");
        }
        if (m_failure) std::rethrow_exception(m_failure);
    }

private:
    bool feed(Ev type) {
        m_event.type = type;
        if (opens(type)) ++m_open;
        if (closes(type)) --m_open;
        if (m_stack.empty()) return true;
        try {
            // A value pushed on a key begins with the next event; one pushed
            // on any other event begins with it, so the event goes to it.
            while (auto nested = m_stack.back()->take(m_event)) {
                m_stack.push_back(std::move(nested));
                if (type == Ev::Key) break;
            }
            while (!m_stack.empty() && m_stack.back()->done()) {
                m_stack.pop_back();
                if (!m_stack.empty()) m_stack.back()->nestedDone();
            }
        } catch (const ProtocolError&) {
            refused(std::current_exception());
        }
        return true;
    }

    void refused(std::exception_ptr failure) {
        // The frame that catches sits at the first level of the text (the
        // answer's object); what remains open below it is skipped.
        while (!m_stack.empty() && !m_stack.back()->catches()) m_stack.pop_back();
        if (m_stack.empty()) {
            if (!m_failure) m_failure = std::move(failure);
            return;
        }
        m_stack.back()->failed(std::move(failure));
        if (m_open > 1) m_stack.push_back(std::make_unique<SkipFrame>(m_open - 1));
    }

    std::vector<std::unique_ptr<Frame>> m_stack;
    Event m_event;
    int m_open = 0;  // containers open, the one an event opens included
    std::exception_ptr m_failure;
    bool m_notJson = false;
    std::size_t m_byte = 0;
    std::string m_reason;
};

void run(std::string_view text, Reader& reader, const std::string& what) {
    json::sax_parse(text.begin(), text.end(), &reader, json::input_format_t::json, true);
    reader.check(what);
}

}  // namespace

AnswerParts readAnswer(std::string_view text, bool withResult, const std::string& what) {
    AnswerParts parts;
    Reader reader(std::make_unique<AnswerFrame>(parts, withResult));
    run(text, reader, what);
    return parts;
}

AnswerParts readAnswer(std::istream& text, const std::string& what, std::size_t maxRows) {
    AnswerParts parts;
    RowBudget budget{maxRows};
    Reader reader(std::make_unique<AnswerFrame>(parts, true, &budget));
    json::sax_parse(text, &reader, json::input_format_t::json, true);
    reader.check(what);
    return parts;
}

host::Variant readVariant(std::string_view text, const std::string& what) {
    host::Variant out;
    Reader reader(std::make_unique<VariantFrame>(out, "resultado", 0));
    run(text, reader, what);
    return out;
}

host::DataPacket readPacket(std::string_view text, const std::string& what) {
    host::DataPacket out;
    Reader reader(std::make_unique<PacketFrame>(out));
    run(text, reader, what);
    return out;
}

}  // namespace pla013::net::internal
