#include "host/ClientDataSet.h"

#include <algorithm>
#include <numeric>

#include "host/Errors.h"
#include "host/internal/DataValues.h"
#include "host/internal/FilterExpression.h"
#include "host/internal/RowIndex.h"

namespace pla013::host {

using internal::coerce;
using internal::compareViews;
using internal::isBlank;
using internal::keyMatches;
using internal::sameName;
using internal::splitFieldList;
using internal::trim;

TClientDataSet::TClientDataSet(std::string name) : TDataSet(std::move(name)) {}

void TClientDataSet::SetIndexName(const std::string& name) {
    if (!name.empty()) {
        const bool known =
            std::any_of(IndexDefs.begin(), IndexDefs.end(), [&](const IndexDef& d) { return sameName(d.name, name); });
        if (!known) throw EHostError(Name() + ": índice '" + name + "' não encontrado.");
    }
    CheckBrowseMode();
    const std::string old = m_indexName;
    m_indexName = name;
    if (!Active()) return;
    try {
        Rebuild();
    } catch (...) {
        m_indexName = old;
        Rebuild();
        throw;
    }
}

void TClientDataSet::CreateDataSet() {
    if (FieldDefs.empty())
        throw EHostError(Name() + ": não é possível criar o conjunto de dados sem definições de campos.");
    m_state = TDataSetState::dsInactive;
    m_editRow = -1;
    DropLookups();
    ClearStorage();
    SetStorage(FieldDefs, {});
    m_state = TDataSetState::dsBrowse;
}

// The rows' cells and texts are freed, not kept for reuse.
void TClientDataSet::EmptyDataSet() {
    if (!Active())
        throw EHostError(Name() + ": não é possível executar esta operação com o conjunto de dados fechado.");
    m_state = TDataSetState::dsBrowse;
    m_editRow = -1;
    m_buffer.clear();
    m_rows.clear();
    std::vector<std::size_t>().swap(m_visible);
    std::vector<std::size_t>().swap(m_pending);
    DropLookups();
    Rebuild();
}

void TClientDataSet::Open() {
    if (Active()) return;
    if (!FieldDefs.empty()) {
        CreateDataSet();
        return;
    }
    if (m_fields.empty())
        throw EHostError(Name() + ": não é possível abrir o conjunto de dados sem definições de campos nem dados.");
    std::vector<FieldDef> defs;
    for (const auto& f : m_fields) defs.push_back(f->Def());
    SetStorage(std::move(defs), {});
    m_state = TDataSetState::dsBrowse;
}

void TClientDataSet::Close() {
    m_editRow = -1;
    DropLookups();
    TDataSet::Close();
}

void TClientDataSet::SetData(const DataPacket& packet) {
    CompactPacket compact;
    try {
        compact = CompactPacket::fromPacket(packet);
    } catch (const EVariantError& e) {
        throw EHostError(Name() + ": " + e.what());
    }
    SetData(std::move(compact));
}

void TClientDataSet::SetData(DataPacket&& packet) { SetData(Compact(std::move(packet))); }

void TClientDataSet::SetData(CompactPacket&& packet) {
    if (m_state == TDataSetState::dsEdit || m_state == TDataSetState::dsInsert) {
        m_state = TDataSetState::dsBrowse;
        m_buffer.clear();
        m_editRow = -1;
    }
    DropLookups();
    std::vector<FieldDef> defs = packet.fields();
    SetStorage(std::move(packet));
    FieldDefs = std::move(defs);
    m_state = TDataSetState::dsBrowse;
}

DataPacket TClientDataSet::Data() const {
    DataPacket p;
    if (Active()) p = m_rows.toPacket();
    p.fields.clear();
    if (m_fields.empty())
        p.fields = FieldDefs;
    else
        for (const auto& f : m_fields) p.fields.push_back(f->Def());
    return p;
}

std::size_t TClientDataSet::MemoryUsed() const {
    std::size_t bytes = TDataSet::MemoryUsed();
    for (const auto& lookup : m_lookups) bytes += lookup->bytesHeld();
    return bytes;
}

void TClientDataSet::SetFilter(const std::string& filter) {
    std::shared_ptr<internal::FilterExpression> tree;
    if (!trim(filter).empty()) {
        try {
            tree = std::make_shared<internal::FilterExpression>(filter);
        } catch (const internal::FilterSyntaxError& e) {
            throw EHostError(Name() + ": filtro inválido \"" + filter + "\": " + e.reason + ".");
        }
    }
    CheckBrowseMode();
    if (Active() && m_filtered && tree) ResolveFilter(*tree);  // unknown fields fail before anything changes
    m_filter = filter;
    m_filterTree = std::move(tree);
    if (Active() && m_filtered) Rebuild();
}

void TClientDataSet::SetFiltered(bool v) {
    if (v == m_filtered) return;
    CheckBrowseMode();
    m_filtered = v;
    if (!Active()) return;
    try {
        Rebuild();
    } catch (...) {
        m_filtered = !v;
        Rebuild();
        throw;
    }
}

std::vector<int> TClientDataSet::ResolveFields(const std::string& list) const {
    std::vector<int> columns;
    for (const std::string& name : splitFieldList(list)) {
        const int c = ColumnOf(name);
        if (c < 0) throw EHostError(Name() + ": campo '" + name + "' não encontrado.");
        columns.push_back(c);
    }
    if (columns.empty()) throw EHostError(Name() + ": nenhum campo de chave foi informado.");
    return columns;
}

void TClientDataSet::ResolveFilter(internal::FilterExpression& filter) const {
    filter.resolve(
        Name(), [this](const std::string& name) { return ColumnOf(name); },
        [this](int column) -> const FieldDef& { return m_fields[std::size_t(column)]->Def(); });
}

bool TClientDataSet::PassesFilter(std::size_t row) const {
    if (!m_filtered || !m_filterTree) return true;
    return m_filterTree->matches(m_rows, row);
}

bool TClientDataSet::RowBefore(std::size_t a, std::size_t b) const {
    for (int c : m_indexCols) {
        const int r = compareViews(m_rows.view(a, std::size_t(c)), m_rows.view(b, std::size_t(c)));
        if (r != 0) return r < 0;
    }
    return a < b;  // equal keys keep the order in which rows were added
}

// Recomputes the visible rows from the index and the filter. On a bad index
// or filter nothing stays visible and the error propagates.
void TClientDataSet::Rebuild() {
    Changed();
    m_pending.clear();
    m_cursorRow = npos;
    m_cursor = 0;
    m_bof = m_eof = true;
    try {
        m_indexCols.clear();
        if (!m_indexName.empty()) {
            auto def = std::find_if(IndexDefs.begin(), IndexDefs.end(),
                                    [&](const IndexDef& d) { return sameName(d.name, m_indexName); });
            if (def == IndexDefs.end()) throw EHostError(Name() + ": índice '" + m_indexName + "' não encontrado.");
            m_indexCols = ResolveFields(def->fields);
        }
        const bool filtering = m_filtered && m_filterTree;
        if (filtering) ResolveFilter(*m_filterTree);

        std::vector<std::size_t> visible;
        std::vector<int> columns;
        std::vector<Variant> values;
        // An equality filter is answered from a hash of its fields once the
        // same fields are filtered on again (a pass over the dishes one by
        // one); a filter set once is a scan, and the hash, as large as a
        // column, is not built for it.
        const bool equalities = filtering && m_filterTree->equalities(columns, values);
        const bool hashed = equalities && (HasLookup(columns) || m_scannedEqualities == columns);
        if (equalities && !hashed) m_scannedEqualities = columns;
        if (hashed) {
            internal::RowIndex& lookup = Lookup(columns, false);
            lookup.forEachCandidate(values, [&](std::size_t row) {
                if (PassesFilter(row)) visible.push_back(row);
            });
            std::sort(visible.begin(), visible.end());
        } else if (filtering) {
            for (std::size_t r = 0; r < m_rows.rowCount(); ++r)
                if (PassesFilter(r)) visible.push_back(r);
        } else {
            visible.resize(m_rows.rowCount());
            std::iota(visible.begin(), visible.end(), std::size_t(0));
        }
        if (!m_indexCols.empty()) {
            // Content often arrives in index order already (a composition, a
            // packet saved from an indexed set): then one pass is enough.
            auto before = [this](std::size_t a, std::size_t b) { return RowBefore(a, b); };
            if (!std::is_sorted(visible.begin(), visible.end(), before))
                std::sort(visible.begin(), visible.end(), before);
        }
        m_visible = std::move(visible);
    } catch (...) {
        m_visible.clear();
        m_indexCols.clear();
        throw;
    }
    m_eof = m_visible.empty();
}

internal::RowIndex& TClientDataSet::Lookup(const std::vector<int>& columns, bool caseInsensitive) {
    for (auto it = m_lookups.begin(); it != m_lookups.end(); ++it) {
        if ((*it)->columns() == columns && (*it)->ignoreCase() == caseInsensitive) {
            if (it + 1 == m_lookups.end()) return **it;
            auto hit = *it;
            m_lookups.erase(it);
            m_lookups.push_back(hit);
            return *hit;
        }
    }
    auto lookup = std::make_shared<internal::RowIndex>(columns, caseInsensitive);
    lookup->build(m_rows);
    if (m_lookups.size() >= 4) m_lookups.erase(m_lookups.begin());
    m_lookups.push_back(lookup);
    return *lookup;
}

bool TClientDataSet::HasLookup(const std::vector<int>& columns) const {
    return std::any_of(m_lookups.begin(), m_lookups.end(),
                       [&](const auto& l) { return l->columns() == columns && !l->ignoreCase(); });
}

void TClientDataSet::DropLookups() {
    m_lookups.clear();
    m_scannedEqualities.clear();
}

// Exact keys are answered from a hash of the key fields (built on first use,
// kept up to date by Post): O(1) per call whatever the index and the case
// option. A partial key needs a scan of the visible rows.
bool TClientDataSet::Locate(const std::string& keyFields, const std::vector<Variant>& values,
                            std::set<LocateOption> options) {
    if (!Active())
        throw EHostError(Name() + ": não é possível executar esta operação com o conjunto de dados fechado.");
    CheckBrowseMode();
    const std::vector<int> columns = ResolveFields(keyFields);
    if (values.size() != columns.size())
        throw EHostError(Name() + ": a busca por \"" + keyFields + "\" exige " + std::to_string(columns.size()) +
                         " valores, mas recebeu " + std::to_string(values.size()) + ".");
    const bool ignoreCase = options.count(LocateOption::CaseInsensitive) > 0;
    const bool partial = options.count(LocateOption::PartialKey) > 0;

    std::vector<Variant> wanted;
    std::vector<ValueView> wantedViews;
    wanted.reserve(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        const FieldDef& def = m_fields[std::size_t(columns[i])]->Def();
        try {
            wanted.push_back(coerce(values[i], def.type));
        } catch (const EVariantError& e) {
            throw EHostError(Name() + ": valor de busca para o campo '" + def.name + "': " + e.what());
        }
    }
    for (const Variant& v : wanted) wantedViews.push_back(viewOf(v));
    auto matches = [&](std::size_t row) {
        for (std::size_t i = 0; i < columns.size(); ++i)
            if (!keyMatches(m_rows.view(row, std::size_t(columns[i])), wantedViews[i], ignoreCase, partial))
                return false;
        return true;
    };

    if (partial) {
        Settle();
        for (std::size_t pos = 0; pos < m_visible.size(); ++pos) {
            if (matches(m_visible[pos])) {
                m_cursor = int(pos);
                m_bof = m_eof = false;
                return true;
            }
        }
        return false;
    }

    internal::RowIndex& lookup = Lookup(columns, ignoreCase);
    std::size_t best = npos;
    lookup.forEachCandidate(wanted, [&](std::size_t row) {
        if (!matches(row) || !PassesFilter(row)) return;
        if (best == npos || RowBefore(row, best)) best = row;
    });
    if (best == npos) return false;
    PlaceCursorOn(best);
    return true;
}

void TClientDataSet::CheckBrowseMode() {
    if (m_state == TDataSetState::dsEdit || m_state == TDataSetState::dsInsert) Post();
}

void TClientDataSet::Insert() {
    if (!Active())
        throw EHostError(Name() + ": não é possível executar esta operação com o conjunto de dados fechado.");
    CheckBrowseMode();
    m_buffer.assign(m_fields.size(), Variant::null());
    m_editRow = -1;
    m_state = TDataSetState::dsInsert;
}

// Without an active index rows keep the order in which they were posted, so
// Append and Insert both add the row at the end of that order.
void TClientDataSet::Append() { Insert(); }

void TClientDataSet::Edit() {
    if (!Active())
        throw EHostError(Name() + ": não é possível executar esta operação com o conjunto de dados fechado.");
    if (m_state == TDataSetState::dsEdit || m_state == TDataSetState::dsInsert) return;
    if (IsEmpty()) {
        Insert();
        return;
    }
    const std::size_t row = CurrentRow();
    if (row == npos) throw EHostError(Name() + ": não há registro atual.");
    m_buffer.assign(m_fields.size(), Variant());
    m_editRow = int(row);
    m_state = TDataSetState::dsEdit;
}

void TClientDataSet::Post() {
    if (!Active())
        throw EHostError(Name() + ": não é possível executar esta operação com o conjunto de dados fechado.");
    if (m_state != TDataSetState::dsEdit && m_state != TDataSetState::dsInsert) return;
    const bool editing = m_state == TDataSetState::dsEdit;
    for (std::size_t c = 0; c < m_fields.size() && c < m_buffer.size(); ++c)
        if (m_fields[c]->Required() &&
            (editing && m_buffer[c].isUnassigned() ? m_rows.isNull(std::size_t(m_editRow), c) : isBlank(m_buffer[c])))
            throw EHostError(Name() + ": o campo '" + m_fields[c]->FieldName() + "' deve ser informado.");

    Changed();
    if (m_state == TDataSetState::dsInsert) {
        const std::size_t row = m_rows.addRow();
        try {
            m_rows.writeRow(row, m_buffer);
        } catch (const EVariantError& e) {
            m_rows.removeRow(row);
            throw EHostError(Name() + ": " + e.what());
        }
        m_buffer.clear();
        m_state = TDataSetState::dsBrowse;
        m_editRow = -1;
        for (auto& lookup : m_lookups) lookup->insert(m_rows, row);
        if (PassesFilter(row)) InsertVisible(row);
        return;
    }

    const std::size_t row = std::size_t(m_editRow);
    // The index and lookups see the whole key: fields not written keep theirs.
    auto fill = [&](int c) {
        Variant& v = m_buffer[std::size_t(c)];
        if (v.isUnassigned()) v = m_rows.value(row, std::size_t(c));
    };
    for (int c : m_indexCols) fill(c);
    for (const auto& lookup : m_lookups)
        for (int c : lookup->columns()) fill(c);
    bool keyChanged = false;
    for (int c : m_indexCols)
        if (compareViews(m_rows.view(row, std::size_t(c)), viewOf(m_buffer[std::size_t(c)])) != 0) keyChanged = true;
    if (keyChanged) RemoveVisible(row);  // found by its old key, before the key changes
    try {
        for (auto& lookup : m_lookups) lookup->update(m_rows, row, m_buffer);
        m_rows.writeRow(row, m_buffer);
    } catch (const EVariantError& e) {
        DropLookups();
        if (keyChanged && PassesFilter(row)) InsertVisible(row);
        throw EHostError(Name() + ": " + e.what());
    }
    m_buffer.clear();
    m_state = TDataSetState::dsBrowse;
    m_editRow = -1;
    const bool visible = PassesFilter(row);
    if (keyChanged && visible)
        InsertVisible(row);
    else if (!keyChanged && !visible)
        RemoveVisible(row);  // the cursor moves on to the next visible row
}

void TClientDataSet::Cancel() {
    if (m_state != TDataSetState::dsEdit && m_state != TDataSetState::dsInsert) return;
    m_buffer.clear();
    m_editRow = -1;
    m_state = TDataSetState::dsBrowse;
}

void TClientDataSet::Delete() {
    if (!Active())
        throw EHostError(Name() + ": não é possível executar esta operação com o conjunto de dados fechado.");
    if (m_state == TDataSetState::dsInsert) {
        Cancel();
        return;
    }
    Cancel();
    if (IsEmpty()) throw EHostError(Name() + ": não é possível excluir: o conjunto de dados está vazio.");
    Settle();
    const std::size_t row = CurrentRow();
    if (row == npos) throw EHostError(Name() + ": não há registro atual.");
    Changed();
    m_rows.removeRow(row);
    m_visible.erase(m_visible.begin() + m_cursor);
    for (std::size_t& v : m_visible)
        if (v > row) --v;
    DropLookups();
    if (!KeepCursorInRange()) m_eof = false;
}

}  // namespace pla013::host
