#include "platform/reports/internal/RowSpool.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "host/Errors.h"

namespace pla013::reports::internal {

namespace {

// A row: its length in bytes, then its number of values, then each value as
// a kind byte and what the kind needs (integers zigzag-encoded, floats and
// dates as 8 bytes, texts as length and bytes).
enum Tag : unsigned char { kUnassigned, kNull, kInteger, kFloat, kText, kDate };

constexpr std::size_t kFileChunk = std::size_t(1) << 20;
constexpr std::size_t kMaxVarint = 10;

void putVarint(std::string& out, std::uint64_t v) {
    while (v >= 0x80) {
        out.push_back(char((v & 0x7f) | 0x80));
        v >>= 7;
    }
    out.push_back(char(v));
}

std::uint64_t getVarint(const char*& p, const char* end) {
    std::uint64_t v = 0;
    for (int shift = 0; p < end && shift < 64; shift += 7) {
        const auto byte = static_cast<unsigned char>(*p++);
        v |= std::uint64_t(byte & 0x7f) << shift;
        if (!(byte & 0x80)) return v;
    }
    throw host::EHostError("Os dados temporários do relatório estão corrompidos.");
}

void putDouble(std::string& out, double d) {
    char bytes[sizeof d];
    std::memcpy(bytes, &d, sizeof d);
    out.append(bytes, sizeof d);
}

double getDouble(const char*& p, const char* end) {
    if (end - p < std::ptrdiff_t(sizeof(double)))
        throw host::EHostError("Os dados temporários do relatório estão corrompidos.");
    double d;
    std::memcpy(&d, p, sizeof d);
    p += sizeof d;
    return d;
}

void encode(std::string& out, const host::Variant& v) {
    using K = host::Variant::Kind;
    switch (v.kind()) {
        case K::Unassigned: out.push_back(char(kUnassigned)); break;
        case K::Null: out.push_back(char(kNull)); break;
        case K::Integer: {
            out.push_back(char(kInteger));
            const auto n = std::uint64_t(v.toInt());
            putVarint(out, (n << 1) ^ (0 - (n >> 63)));
            break;
        }
        case K::Float:
            out.push_back(char(kFloat));
            putDouble(out, v.toDouble());
            break;
        case K::Date:
            out.push_back(char(kDate));
            putDouble(out, v.toDate());
            break;
        case K::Text: {
            const std::string& t = *v.textIf();
            out.push_back(char(kText));
            putVarint(out, t.size());
            out.append(t);
            break;
        }
        default:
            throw host::EHostError("Os dados do relatório trazem um valor que não é de um campo (lista ou pacote).");
    }
}

host::Variant decode(const char*& p, const char* end) {
    if (p >= end) throw host::EHostError("Os dados temporários do relatório estão corrompidos.");
    switch (static_cast<unsigned char>(*p++)) {
        case kUnassigned: return {};
        case kNull: return host::Variant::null();
        case kInteger: {
            const std::uint64_t z = getVarint(p, end);
            return host::Variant(std::int64_t((z >> 1) ^ (0 - (z & 1))));
        }
        case kFloat: return host::Variant(getDouble(p, end));
        case kDate: return host::Variant::date(getDouble(p, end));
        case kText: {
            const std::uint64_t n = getVarint(p, end);
            if (std::uint64_t(end - p) < n) break;
            host::Variant v(std::string(p, std::size_t(n)));
            p += n;
            return v;
        }
        default: break;
    }
    throw host::EHostError("Os dados temporários do relatório estão corrompidos.");
}

}  // namespace

RowSpool::RowSpool(std::size_t memoryLimit) : m_memoryLimit(memoryLimit) {}

RowSpool::~RowSpool() {
    if (m_fd >= 0) ::close(m_fd);
}

std::uint64_t RowSpool::append(const Row& row) {
    m_encoded.clear();
    putVarint(m_encoded, row.size());
    for (const auto& v : row) encode(m_encoded, v);
    std::string head;
    putVarint(head, m_encoded.size());
    const std::uint64_t position = m_size;
    write(head.data(), head.size());
    write(m_encoded.data(), m_encoded.size());
    ++m_rows;
    return position;
}

void RowSpool::write(const char* data, std::size_t size) {
    m_size += size;
    if (m_fd < 0) {
        m_memory.append(data, size);
        if (m_memory.size() > m_memoryLimit) spill();
        return;
    }
    m_pending.append(data, size);
    if (m_pending.size() >= kFileChunk) flush();
}

void RowSpool::spill() {
    std::error_code ec;
    std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
    if (ec) folder = "/tmp";
    m_folder = folder.string();
#ifdef O_TMPFILE
    m_fd = ::open(m_folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
#endif
    if (m_fd < 0) {
        std::string name = (folder / "pla013-dados-XXXXXX").string();
        m_fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (m_fd < 0) failWrite(errno);
        ::unlink(name.c_str());
    }
    m_pending.swap(m_memory);
    std::string().swap(m_memory);
    flush();
}

void RowSpool::flush() {
    if (m_fd < 0 || m_pending.empty()) return;
    const char* p = m_pending.data();
    std::size_t left = m_pending.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) failWrite(n < 0 ? errno : ENOSPC);
        p += n;
        left -= std::size_t(n);
    }
    m_pending.clear();
}

void RowSpool::failWrite(int error) const {
    throw host::EHostError("Não foi possível guardar os dados do relatório em '" + m_folder +
                           "': " + std::strerror(error) + ". Libere espaço nessa pasta e tente de novo.");
}

void RowSpool::rewind() {
    flush();
    m_readPosition = 0;
}

bool RowSpool::next(Row& row) {
    if (m_readPosition >= m_size) return false;
    m_lastPosition = m_readPosition;
    m_readPosition = readRow(m_readPosition, row);
    return true;
}

void RowSpool::readAt(std::uint64_t position, Row& row) {
    flush();
    readRow(position, row);
}

const char* RowSpool::window(std::uint64_t position, std::size_t bytes) {
    if (m_fd < 0) return m_memory.data() + position;
    if (position >= m_windowStart && position + bytes <= m_windowStart + m_buffer.size())
        return m_buffer.data() + (position - m_windowStart);
    const std::size_t want = std::size_t(std::min<std::uint64_t>(std::max(bytes, kFileChunk), m_size - position));
    m_buffer.resize(want);
    std::size_t got = 0;
    while (got < want) {
        const ssize_t n = ::pread(m_fd, m_buffer.data() + got, want - got, off_t(position + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw host::EHostError("Os dados temporários do relatório não puderam ser lidos.");
        got += std::size_t(n);
    }
    m_windowStart = position;
    return m_buffer.data();
}

std::uint64_t RowSpool::readRow(std::uint64_t position, Row& row) {
    if (position >= m_size) throw host::EHostError("Os dados temporários do relatório estão corrompidos.");
    const std::size_t headBytes = std::size_t(std::min<std::uint64_t>(kMaxVarint, m_size - position));
    const char* p = window(position, headBytes);
    const char* start = p;
    const std::uint64_t length = getVarint(p, start + headBytes);
    const std::size_t head = std::size_t(p - start);
    if (length > m_size - position - head)
        throw host::EHostError("Os dados temporários do relatório estão corrompidos.");
    p = window(position + head, std::size_t(length));
    const char* end = p + length;
    const std::uint64_t count = getVarint(p, end);
    row.resize(std::size_t(count));
    for (auto& v : row) v = decode(p, end);
    return position + head + length;
}

}  // namespace pla013::reports::internal
