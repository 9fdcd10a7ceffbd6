#include "platform/reports/internal/FlowBuilder.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "platform/reports/internal/ValueFormat.h"

namespace pla013::reports::internal {

FlowBuilder::FlowBuilder(const Context& context, BandFlow& flow)
    : m_ctx(context),
      m_flow(flow),
      m_levels(context.def.groups.size()),
      m_groupFields(m_levels),
      m_togetherLevel(m_levels) {
    for (std::size_t g = 0; g < m_levels; ++g)
        for (const auto& f : m_ctx.def.groups[g].fields) m_groupFields[g].push_back(m_ctx.data.fieldIndex(f));
    for (std::size_t g = 0, indent = 0; g <= m_levels; ++g) {
        m_indent.push_back(int(indent));
        if (g < m_levels && m_ctx.def.groups[g].indent) ++indent;
    }
    collectTotalFields();
    if (!m_ctx.def.detail.headingColumn.empty())
        m_headingCell = m_ctx.columns.columnOf(m_ctx.data.fieldIndex(m_ctx.def.detail.headingColumn));
    m_groupTotals.resize(m_levels);
    m_grandTotals.reset(m_ctx.data.fieldCount());
    for (auto& a : m_groupTotals) a.reset(m_ctx.data.fieldCount());
}

// Fields that any total reads, so that rows only update what is shown.
void FlowBuilder::collectTotalFields() {
    std::set<int> fields;
    auto collect = [&](const std::vector<TotalDef>& ts) {
        for (const auto& t : ts)
            if (!t.field.empty()) fields.insert(m_ctx.data.fieldIndex(t.field));
    };
    collect(m_ctx.def.totals);
    for (const auto& g : m_ctx.def.groups)
        for (const auto& it : g.footer)
            if (it.kind == SectionItem::Kind::Totals) collect(it.totals);
    for (const auto& g : m_ctx.def.groups)
        for (const auto& it : g.header)
            if (it.kind == SectionItem::Kind::Totals) collect(it.totals);
    m_totalFields.assign(fields.begin(), fields.end());
}

bool FlowBuilder::sameGroup(std::size_t level, const ReportData::Row& ra, const ReportData::Row& rb) const {
    for (int f : m_groupFields[level])
        if (!(ra[f] == rb[f])) return false;
    return true;
}

// The first level whose key changed from the previous row (every deeper group
// closes and opens with it); the number of levels when none did.
std::size_t FlowBuilder::changedLevel(const ReportData::Row& row) const {
    if (!m_previous) return 0;
    for (std::size_t g = 0; g < m_levels; ++g)
        if (!sameGroup(g, *m_previous, row)) return g;
    return m_levels;
}

// Footers read their fields from the group's last row, innermost first.
void FlowBuilder::closeGroups(std::size_t fromLevel, const ReportData::Row& lastRow) {
    for (std::size_t g = m_levels; g-- > fromLevel;) emitSection(m_ctx.def.groups[g].footer, int(g), lastRow, false);
    m_flow.closeLevels(int(fromLevel));
    if (m_togetherLevel >= fromLevel && m_togetherLevel < m_levels) {
        m_flow.keepTogether(false);
        m_togetherLevel = m_levels;
    }
}

// Headers read their fields from the group's first row, outermost first.
void FlowBuilder::openGroups(std::size_t fromLevel, const ReportData::Row& firstRow) {
    for (std::size_t g = fromLevel; g < m_levels; ++g) {
        m_groupTotals[g].reset(m_ctx.data.fieldCount());
        if (m_ctx.def.groups[g].keepTogether && m_togetherLevel == m_levels) {
            m_togetherLevel = g;
            m_flow.keepTogether(true);
        }
        std::size_t before = m_flow.size();
        emitSection(m_ctx.def.groups[g].header, int(g), firstRow, true);
        // The group's first text line is its heading.
        for (std::size_t b = before; b < m_flow.size(); ++b)
            if (m_flow.bands()[b].kind == Band::Kind::Text) {
                m_flow.markHeading(b, int(g));
                break;
            }
        if (m_ctx.def.groups[g].newPage && m_previous && before < m_flow.size()) m_flow.breakPageBefore(before);
    }
}

void FlowBuilder::addRow(const ReportData::Row& row) {
    std::size_t changed = changedLevel(row);
    // Only a group that changes closes anything: the headings of detail
    // lines (deeper than every group) stay open.
    if (m_previous && changed < m_levels) closeGroups(changed, *m_previous);
    openGroups(changed, row);
    m_previous = &row;
    if (!m_ctx.eval.holds(m_ctx.def.detail.printIf, &row)) return;
    if (m_flow.content()) {
        for (auto& a : m_groupTotals) a.add(row, m_totalFields);
        m_grandTotals.add(row, m_totalFields);
    }
    if (onDetail) onDetail(row);
    if (!m_ctx.columns.detailShown()) return;
    const bool bold = m_flow.content() && m_ctx.def.detail.bold && m_ctx.eval.holds(*m_ctx.def.detail.bold, &row);
    if (!m_ctx.def.detail.headingWhen) {
        m_flow.addDetail(int(m_levels), row, bold);
        return;
    }
    // A line of a code tree: it ends the headings of its level and below,
    // and heads what follows when it is a heading itself (kept with the line
    // after it, as a group's heading is).
    const host::Variant& by = row[m_ctx.data.fieldIndex(m_ctx.def.detail.headingLevel)];
    const int level = int(m_levels) + std::clamp(by.isNullOrUnassigned() ? 0 : int(by.toDouble()), 0, 50);
    m_flow.closeLevels(level);
    const bool heading = m_ctx.eval.holds(*m_ctx.def.detail.headingWhen, &row);
    m_flow.addDetail(int(m_levels), row, bold, heading);
    if (heading) m_flow.markHeading(m_flow.size() - 1, level, std::max(0, m_headingCell));
}

void FlowBuilder::finish() {
    if (!m_previous)
        m_flow.addText(Band::Kind::Empty, 0, m_ctx.eval.expand(m_ctx.def.emptyText, nullptr), false, false);
    else
        closeGroups(0, *m_previous);
    if (m_ctx.def.totals.empty()) return;
    if (!m_flow.content())
        m_flow.addTotals(0, {});
    else
        emitTotals(m_ctx.def.totalsCaption, m_ctx.def.totals, m_grandTotals, 0, m_previous);
}

void FlowBuilder::emitSection(const std::vector<SectionItem>& items, int level, const ReportData::Row& row,
                              bool header) {
    const int indent = m_indent[std::size_t(level)];
    for (const auto& item : items) {
        if (!m_ctx.eval.holds(item.when, &row)) continue;
        switch (item.kind) {
            case SectionItem::Kind::Text:
                m_flow.addText(Band::Kind::Text, indent, m_flow.content() ? m_ctx.eval.expand(item.text, &row) : "",
                               item.bold, header);
                if (item.text.empty()) m_flow.markBlank(m_flow.size() - 1);
                break;
            case SectionItem::Kind::Inline:
                m_flow.addInline(indent, m_flow.content() ? m_ctx.eval.expand(item.text, &row) : "", item.width);
                break;
            case SectionItem::Kind::Memo: emitMemo(item, indent, row); break;
            case SectionItem::Kind::Image: {
                const host::Variant& v = row[m_ctx.data.fieldIndex(item.field)];
                if (v.isNullOrUnassigned() || v.toString().empty()) break;
                m_flow.addImage(indent, item.lines, header, m_flow.content() ? m_ctx.images.load(v) : nullptr);
                break;
            }
            case SectionItem::Kind::Totals:
                if (!m_flow.content())
                    m_flow.addTotals(indent, {});
                else
                    emitTotals(item.caption, item.totals, m_groupTotals[level], indent, &row);
                break;
        }
    }
}

// A memo prints nothing when blank; its caption stays with its first line.
void FlowBuilder::emitMemo(const SectionItem& item, int indent, const ReportData::Row& row) {
    const std::size_t width = std::size_t(m_ctx.pageWidth) - std::size_t(indent) * 2;
    std::string body = row[m_ctx.data.fieldIndex(item.field)].toString();
    if (body.find_first_not_of(" \t\r\n") == std::string::npos) return;
    if (!item.caption.empty())
        m_flow.addText(Band::Kind::MemoCaption, indent, m_flow.content() ? m_ctx.eval.expand(item.caption, &row) : "",
                       true, true);
    for (auto& l : wrapText(body, width)) m_flow.addText(Band::Kind::Memo, indent, std::move(l), false, false);
}

// The figure of one total and the column it goes under: the column that
// shows its field, else -1 (after the caption); a second figure for a column
// that already has one (in placed) goes beside the caption.
Cell FlowBuilder::totalCell(const TotalDef& t, const RunningTotals& acc, const std::vector<Cell>& placed,
                            int& column) const {
    int field = t.field.empty() ? -1 : m_ctx.data.fieldIndex(t.field);
    host::Variant v = acc.value(t.function, field);
    if (t.function == TotalFunction::Count && v.kind() == host::Variant::Kind::Float)
        v = host::Variant(static_cast<std::int64_t>(std::llround(v.toDouble())));
    column = m_ctx.columns.columnOf(t.under.empty() ? field : m_ctx.data.fieldIndex(t.under));
    for (const auto& p : placed)
        if (p.column == column) column = -1;
    std::string format = t.format;
    if (format.empty() && column >= 0 && t.function != TotalFunction::Count)
        format = m_ctx.columns.column(std::size_t(column)).format;
    Cell cell;
    cell.value = v;
    cell.format = format;
    cell.text = formatValue(v, format);
    return cell;
}

// Captions are templates filled from the given row (the group's last, or the
// report's last for the report's totals).
void FlowBuilder::emitTotals(const std::string& caption, const std::vector<TotalDef>& totals, const RunningTotals& acc,
                             int level, const ReportData::Row* row) {
    BandFlow::Totals entry;
    entry.caption = m_ctx.eval.expand(caption, row);
    for (const auto& t : totals) {
        int col = -1;
        Cell cell = totalCell(t, acc, entry.cells, col);
        std::string note;
        for (const auto& n : t.notes)
            if (m_ctx.eval.holds(n.when, row)) {
                note = n.text;
                break;
            }
        const bool noted = !note.empty();
        if (col >= 0) {
            const ColumnDef& c = m_ctx.columns.column(std::size_t(col));
            cell.x = m_ctx.columns.x(std::size_t(col));
            cell.width = m_ctx.columns.width(std::size_t(col));
            cell.align = c.align == Align::Left ? Align::Right : c.align;
            cell.column = col;
            if (noted) {
                // The note reaches left into the blank columns before the figure.
                const int room = int(textWidth(note)) + (cell.text.empty() ? 0 : 1);
                cell.text = cell.text.empty() ? note : cell.text + " " + note;
                cell.value = host::Variant(cell.text);
                cell.format.clear();
                const int shift = std::min(room, cell.x);
                cell.x -= shift;
                cell.width += shift;
            }
            entry.cells.push_back(cell);
        } else if (noted && cell.value.isNullOrUnassigned()) {
            entry.caption += (entry.caption.empty() ? "" : "   ") + note;
        } else if (!cell.value.isNullOrUnassigned()) {  // nothing to say: left out with its caption
            if (noted) cell.text += " " + note;
            std::string item = t.caption.empty() ? cell.text : m_ctx.eval.expand(t.caption, row) + " " + cell.text;
            entry.caption += (entry.caption.empty() ? "" : "   ") + item;
        }
    }
    m_flow.addTotals(level, std::move(entry));
}

}  // namespace pla013::reports::internal
