#include "platform/reports/PageSpool.h"

#include <stdexcept>

#include "host/Errors.h"
#include "platform/reports/internal/RowSpool.h"

namespace pla013::reports {

namespace {

using host::Variant;

// A page is one record of values: the number of lines, then each line's
// fields in a fixed order, lists preceded by their length.
void putCells(std::vector<Variant>& out, const std::vector<Cell>& cells) {
    out.emplace_back(std::int64_t(cells.size()));
    for (const Cell& c : cells) {
        out.emplace_back(c.text);
        out.emplace_back(std::int64_t(c.x));
        out.emplace_back(std::int64_t(c.width));
        out.emplace_back(std::int64_t(c.align));
        out.emplace_back(std::int64_t(c.column));
        out.push_back(c.value);
        out.emplace_back(c.format);
    }
}

class Reader {
public:
    explicit Reader(const std::vector<Variant>& record) : m_record(record) {}
    const Variant& value() {
        if (m_next >= m_record.size()) throw host::EHostError("As páginas temporárias do relatório estão corrompidas.");
        return m_record[m_next++];
    }
    std::int64_t integer() { return value().toInt(); }
    std::string text() { return value().toString(); }
    std::size_t count() {
        const std::int64_t n = integer();
        if (n < 0 || std::size_t(n) > m_record.size())
            throw host::EHostError("As páginas temporárias do relatório estão corrompidas.");
        return std::size_t(n);
    }
    void cells(std::vector<Cell>& out) {
        out.resize(count());
        for (Cell& c : out) {
            c.text = text();
            c.x = int(integer());
            c.width = int(integer());
            c.align = Align(integer());
            c.column = int(integer());
            c.value = value();
            c.format = text();
        }
    }

private:
    const std::vector<Variant>& m_record;
    std::size_t m_next = 0;
};

}  // namespace

PageSpool::PageSpool(std::size_t memoryLimit) : m_spool(std::make_unique<internal::RowSpool>(memoryLimit)) {}

PageSpool::~PageSpool() = default;

void PageSpool::append(const std::vector<Line>& page) {
    std::vector<Variant>& r = m_record;
    r.clear();
    r.emplace_back(std::int64_t(page.size()));
    for (const Line& l : page) {
        r.emplace_back(std::int64_t(l.style));
        r.emplace_back(std::int64_t(l.level));
        r.emplace_back(std::int64_t(l.height));
        r.emplace_back(std::int64_t(l.bold));
        r.emplace_back(std::int64_t(l.image != nullptr));
        if (l.image) {
            r.emplace_back(l.image->bytes);
            r.emplace_back(l.image->source);
        }
        r.emplace_back(l.right);
        putCells(r, l.cells);
        putCells(r, l.spans);
        r.emplace_back(std::int64_t(l.gutters.size()));
        for (int g : l.gutters) r.emplace_back(std::int64_t(g));
    }
    m_positions.push_back(m_spool->append(r));
}

std::unique_ptr<SpooledPage> PageSpool::read(std::size_t index) {
    if (index >= m_positions.size()) throw std::out_of_range("PageSpool::read");
    m_spool->readAt(m_positions[index], m_record);
    auto page = std::make_unique<SpooledPage>();
    Reader in(m_record);
    page->lines.resize(in.count());
    for (Line& l : page->lines) {
        l.style = LineStyle(in.integer());
        l.level = int(in.integer());
        l.height = int(in.integer());
        l.bold = in.integer() != 0;
        if (in.integer() != 0) {
            auto image = std::make_unique<ImageData>();
            image->bytes = in.text();
            image->source = in.text();
            l.image = image.get();
            page->images.push_back(std::move(image));
        }
        l.right = in.text();
        in.cells(l.cells);
        in.cells(l.spans);
        l.gutters.resize(in.count());
        for (int& g : l.gutters) g = int(in.integer());
    }
    return page;
}

}  // namespace pla013::reports
