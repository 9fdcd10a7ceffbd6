#include "host/DataSet.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "host/Errors.h"
#include "host/internal/DataValues.h"

namespace pla013::host {

using internal::sameName;

namespace {

std::string stateError(const std::string& name, const char* what) { return name + ": " + what; }

}  // namespace

TDataSet::TDataSet(std::string name) : TObject(std::move(name)) {}

TDataSet::~TDataSet() = default;

void TDataSet::Open() {
    if (Active()) return;
    m_state = TDataSetState::dsBrowse;
    Rebuild();
}

void TDataSet::Close() {
    ClearStorage();
    m_state = TDataSetState::dsInactive;
}

void TDataSet::CheckBrowseMode() {}

bool TDataSet::RowBefore(std::size_t a, std::size_t b) const { return a < b; }

void TDataSet::First() {
    CheckBrowseMode();
    Settle();
    m_cursor = 0;
    m_bof = true;
    m_eof = m_visible.empty();
}

void TDataSet::Next() {
    CheckBrowseMode();
    Settle();
    if (std::size_t(m_cursor) + 1 < m_visible.size()) {
        ++m_cursor;
        m_bof = false;
        m_eof = false;
    } else {
        m_eof = true;
        if (m_visible.empty()) m_bof = true;
    }
}

void TDataSet::Prior() {
    CheckBrowseMode();
    Settle();
    if (m_cursor > 0 && !m_visible.empty()) {
        --m_cursor;
        m_bof = false;
        m_eof = false;
    } else {
        m_bof = true;
        if (m_visible.empty()) m_eof = true;
    }
}

void TDataSet::Last() {
    CheckBrowseMode();
    Settle();
    m_cursor = m_visible.empty() ? 0 : int(m_visible.size()) - 1;
    m_eof = true;
    m_bof = m_visible.empty();
}

bool TDataSet::Eof() const { return !Active() || m_eof; }

bool TDataSet::Bof() const { return !Active() || m_bof; }

bool TDataSet::IsEmpty() const { return !Active() || (m_visible.empty() && m_pending.empty()); }

int TDataSet::RecordCount() const { return Active() ? int(m_visible.size() + m_pending.size()) : 0; }

int TDataSet::RecNo() const {
    const std::size_t row = CurrentRow();
    if (!Active() || row == npos) return 0;
    return m_pending.empty() ? m_cursor + 1 : PositionOf(row) + 1;
}

void TDataSet::MoveTo(int visibleIndex) {
    CheckBrowseMode();
    Settle();
    if (visibleIndex < 0 || std::size_t(visibleIndex) >= m_visible.size())
        throw EHostError(Name() + ": registro " + std::to_string(visibleIndex + 1) + " fora do intervalo (" +
                         std::to_string(m_visible.size()) + " registros).");
    m_cursor = visibleIndex;
    m_bof = false;
    m_eof = false;
}

int TDataSet::ColumnOf(const std::string& name) const {
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        if (m_fields[i]->FieldName() == name) return int(i);
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        if (sameName(m_fields[i]->FieldName(), name)) return int(i);
    return -1;
}

TField* TDataSet::FindField(const std::string& name) {
    const int i = ColumnOf(name);
    return i < 0 ? nullptr : m_fields[std::size_t(i)].get();
}

TField& TDataSet::FieldByName(const std::string& name) {
    if (TField* f = FindField(name)) return *f;
    throw EHostError(Name() + ": campo '" + name + "' não encontrado.");
}

DataPacket TDataSet::Snapshot() const {
    DataPacket p;
    for (const auto& f : m_fields) p.fields.push_back(f->Def());
    if (!Active()) return p;
    const std::vector<std::size_t> order = VisibleOrder();
    p.rows.resize(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) m_rows.readRow(order[i], p.rows[i]);
    return p;
}

TDataSet::RowReader::RowReader(const TDataSet& set) : m_set(&set), m_generation(set.m_generation) {}

TDataSet::RowReader TDataSet::ReadRows() const { return RowReader(*this); }

// The visible order is m_visible merged with m_pending (both sorted by
// RowBefore), walked without merging them.
bool TDataSet::RowReader::Next() {
    const TDataSet& s = *m_set;
    if (s.m_generation != m_generation)
        throw EHostError(s.Name() + ": o conjunto de dados mudou durante a leitura das linhas.");
    m_started = true;
    m_row = npos;
    if (!s.Active()) return false;
    const bool fromVisible = m_visible < s.m_visible.size();
    const bool fromPending = m_pending < s.m_pending.size();
    if (fromVisible && (!fromPending || !s.RowBefore(s.m_pending[m_pending], s.m_visible[m_visible])))
        m_row = s.m_visible[m_visible++];
    else if (fromPending)
        m_row = s.m_pending[m_pending++];
    return m_row != npos;
}

std::size_t TDataSet::RowReader::Width() const { return m_set->m_fields.size(); }

void TDataSet::RowReader::checkRow(int column) const {
    const TDataSet& s = *m_set;
    if (s.m_generation != m_generation)
        throw EHostError(s.Name() + ": o conjunto de dados mudou durante a leitura das linhas.");
    if (m_row == npos)
        throw EHostError(s.Name() +
                         (m_started ? ": a leitura das linhas terminou." : ": a leitura das linhas não começou."));
    if (column != kAnyColumn && (column < 0 || std::size_t(column) >= s.m_fields.size()))
        throw EHostError(s.Name() + ": campo " + std::to_string(column) + " fora da lista de campos.");
}

Variant TDataSet::RowReader::Value(int column) const {
    checkRow(column);
    return m_set->m_rows.value(m_row, std::size_t(column));
}

ValueView TDataSet::RowReader::View(int column) const {
    checkRow(column);
    return m_set->m_rows.view(m_row, std::size_t(column));
}

void TDataSet::RowReader::Values(std::vector<Variant>& out) const {
    checkRow(kAnyColumn);
    m_set->m_rows.readRow(m_row, out);
}

std::size_t TDataSet::MemoryUsed() const {
    return m_rows.bytesHeld() + (m_visible.capacity() + m_pending.capacity()) * sizeof(std::size_t) +
           m_buffer.capacity() * sizeof(Variant);
}

// Field objects are kept, by name, across reloads so that the pointers that
// callers hold stay valid; the values are checked against the field kinds
// before anything changes, so a bad row leaves the old content in place.
void TDataSet::SetStorage(std::vector<FieldDef> defs, std::vector<std::vector<Variant>> rows) {
    SetStorage(Compact(DataPacket{std::move(defs), std::move(rows)}));
}

CompactPacket TDataSet::Compact(DataPacket&& packet) const {
    try {
        return CompactPacket::fromPacket(std::move(packet));
    } catch (const EVariantError& e) {
        throw EHostError(Name() + ": " + e.what());
    }
}

void TDataSet::SetStorage(CompactPacket rows) {
    const std::vector<FieldDef>& defs = rows.fields();
    std::vector<std::unique_ptr<TField>> fields;
    fields.reserve(defs.size());
    for (std::size_t c = 0; c < defs.size(); ++c) {
        std::unique_ptr<TField> reuse;
        for (auto& old : m_fields) {
            if (old && sameName(old->FieldName(), defs[c].name)) {
                reuse = std::move(old);
                break;
            }
        }
        if (!reuse) reuse = std::make_unique<TField>(*this, defs[c]);
        reuse->m_def = defs[c];
        reuse->m_index = int(c);
        fields.push_back(std::move(reuse));
    }
    m_fields = std::move(fields);
    m_rows = std::move(rows);
    m_buffer.clear();
    Rebuild();
}

void TDataSet::ClearStorage() {
    Changed();
    m_rows.clear();
    std::vector<std::size_t>().swap(m_visible);
    std::vector<std::size_t>().swap(m_pending);
    m_cursorRow = npos;
    m_buffer.clear();
    m_cursor = 0;
    m_bof = m_eof = true;
}

void TDataSet::Rebuild() {
    Changed();
    m_pending.clear();
    m_cursorRow = npos;
    m_visible.resize(m_rows.rowCount());
    std::iota(m_visible.begin(), m_visible.end(), std::size_t(0));
    m_cursor = 0;
    m_bof = true;
    m_eof = m_visible.empty();
}

std::size_t TDataSet::CurrentRow() const {
    if (!m_pending.empty()) return m_cursorRow;
    if (m_cursor >= 0 && std::size_t(m_cursor) < m_visible.size()) return m_visible[std::size_t(m_cursor)];
    return npos;
}

Variant TDataSet::CurrentValue(int column) const {
    if (!Active() || column < 0) return Variant::null();
    const std::size_t row = CurrentRow();
    if (m_state == TDataSetState::dsEdit || m_state == TDataSetState::dsInsert) {
        if (std::size_t(column) >= m_buffer.size()) return Variant::null();
        const Variant& v = m_buffer[std::size_t(column)];
        // Unassigned in an edit: not written yet, the stored value stands.
        if (!v.isUnassigned() || m_state == TDataSetState::dsInsert) return v;
    }
    if (row == npos || std::size_t(column) >= m_rows.width()) return Variant::null();
    return m_rows.value(row, std::size_t(column));
}

void TDataSet::WriteCurrent(int column, const Variant& v) {
    if (m_state != TDataSetState::dsEdit && m_state != TDataSetState::dsInsert)
        throw EHostError(stateError(Name(), "o conjunto de dados não está em edição nem em inserção."));
    if (column < 0 || std::size_t(column) >= m_buffer.size())
        throw EHostError(Name() + ": o campo não pertence ao conjunto de dados.");
    m_buffer[std::size_t(column)] = v;
}

TField* TDataSet::AddFieldObject(FieldDef def) {
    auto f = std::make_unique<TField>(*this, std::move(def));
    f->m_index = int(m_fields.size());
    m_fields.push_back(std::move(f));
    return m_fields.back().get();
}

int TDataSet::PositionOf(std::size_t row) const {
    auto before = [this](std::size_t a, std::size_t b) { return RowBefore(a, b); };
    const auto a = std::lower_bound(m_visible.begin(), m_visible.end(), row, before) - m_visible.begin();
    const auto b = std::lower_bound(m_pending.begin(), m_pending.end(), row, before) - m_pending.begin();
    return int(a + b);
}

void TDataSet::PlaceCursorOn(std::size_t row) {
    if (m_pending.empty())
        m_cursor = PositionOf(row);
    else
        m_cursorRow = row;
    m_bof = false;
    m_eof = false;
}

// Appending after the last row is the common case (rows arrive in key
// order) and costs O(1). Out-of-order rows of a small set go straight into
// place; in a large set they wait in m_pending, which is merged into
// m_visible in one pass when it grows past about the square root of the
// row count, or when the cursor moves. A post thus costs O(log n) compares
// plus an amortised O(sqrt n) of moved indices instead of O(n).
void TDataSet::InsertVisible(std::size_t row) {
    Changed();
    auto before = [this](std::size_t a, std::size_t b) { return RowBefore(a, b); };
    if (m_visible.empty() || !RowBefore(row, m_visible.back())) {
        m_visible.push_back(row);
        if (m_pending.empty())
            m_cursor = int(m_visible.size()) - 1;
        else
            m_cursorRow = row;
    } else if (m_pending.empty() && m_visible.size() <= 4096) {
        const auto pos = std::upper_bound(m_visible.begin(), m_visible.end(), row, before);
        m_cursor = int(pos - m_visible.begin());
        m_visible.insert(pos, row);
    } else {
        m_pending.insert(std::upper_bound(m_pending.begin(), m_pending.end(), row, before), row);
        m_cursorRow = row;
        const std::size_t limit = std::max<std::size_t>(1024, 2 * std::size_t(std::sqrt(double(m_visible.size()))));
        if (m_pending.size() > limit) Settle();
    }
    m_bof = false;
    m_eof = false;
}

void TDataSet::RemoveVisible(std::size_t row) {
    Changed();
    Settle();
    auto before = [this](std::size_t a, std::size_t b) { return RowBefore(a, b); };
    const auto pos = std::lower_bound(m_visible.begin(), m_visible.end(), row, before);
    if (pos == m_visible.end() || *pos != row) return;
    const int at = int(pos - m_visible.begin());
    m_visible.erase(pos);
    if (at < m_cursor) --m_cursor;
    KeepCursorInRange();
}

bool TDataSet::KeepCursorInRange() {
    if (m_visible.empty()) {
        m_cursor = 0;
        m_bof = m_eof = true;
    } else if (std::size_t(m_cursor) >= m_visible.size()) {
        m_cursor = int(m_visible.size()) - 1;
        m_eof = true;
    } else {
        return false;
    }
    return true;
}

void TDataSet::Settle() {
    if (m_pending.empty()) return;
    Changed();
    auto before = [this](std::size_t a, std::size_t b) { return RowBefore(a, b); };
    std::vector<std::size_t> merged;
    merged.reserve(m_visible.size() + m_pending.size());
    auto from = m_visible.begin();
    for (std::size_t row : m_pending) {
        const auto pos = std::lower_bound(from, m_visible.end(), row, before);
        merged.insert(merged.end(), from, pos);
        merged.push_back(row);
        from = pos;
    }
    merged.insert(merged.end(), from, m_visible.end());
    m_visible.swap(merged);
    m_pending.clear();
    const std::size_t row = m_cursorRow;
    m_cursorRow = npos;
    if (row != npos) m_cursor = PositionOf(row);
}

std::vector<std::size_t> TDataSet::VisibleOrder() const {
    if (m_pending.empty()) return m_visible;
    std::vector<std::size_t> merged(m_visible.size() + m_pending.size());
    std::merge(m_visible.begin(), m_visible.end(), m_pending.begin(), m_pending.end(), merged.begin(),
               [this](std::size_t a, std::size_t b) { return RowBefore(a, b); });
    return merged;
}

}  // namespace pla013::host
