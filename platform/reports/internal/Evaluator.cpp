#include "platform/reports/internal/Evaluator.h"

#include <algorithm>

#include "platform/reports/internal/DefinitionRules.h"
#include "platform/reports/internal/ValueFormat.h"

namespace pla013::reports::internal {

std::string Evaluator::conditionText(const host::Variant& v) {
    using K = host::Variant::Kind;
    switch (v.kind()) {
        case K::Unassigned:
        case K::Null: return {};
        case K::Integer: return std::to_string(v.toInt());
        case K::Date: return host::DateToIso(v.toDate());
        default: return v.toString();
    }
}

bool Evaluator::holds(const Condition& c, const Row* row) const {
    switch (c.kind) {
        case Condition::Kind::Always: return true;
        case Condition::Kind::ParamEquals: {
            const ReportParam* p = m_data.findParam(c.name);
            std::string t = p ? conditionText(p->value) : std::string();
            return std::find(c.values.begin(), c.values.end(), t) != c.values.end();
        }
        case Condition::Kind::FieldEquals:
        case Condition::Kind::FieldNotNull: {
            if (!row) return false;
            int f = m_data.fieldIndex(c.name);
            if (f < 0 || std::size_t(f) >= row->size()) return false;  // a later computed field
            const host::Variant& v = (*row)[f];
            if (c.kind == Condition::Kind::FieldNotNull)
                return !v.isNullOrUnassigned() && !(v.kind() == host::Variant::Kind::Text && v.toString().empty());
            std::string t = conditionText(v);
            return std::find(c.values.begin(), c.values.end(), t) != c.values.end();
        }
        case Condition::Kind::All:
            return std::all_of(c.children.begin(), c.children.end(), [&](const Condition& k) { return holds(k, row); });
        case Condition::Kind::Any:
            return std::any_of(c.children.begin(), c.children.end(), [&](const Condition& k) { return holds(k, row); });
        case Condition::Kind::Not: return !holds(c.children.front(), row);
    }
    return true;
}

std::string Evaluator::paramText(const ReportParam& p, bool forDisplay, const std::string& format) const {
    if (p.value.isNullOrUnassigned()) return {};
    std::string raw = conditionText(p.value);
    if (forDisplay) {
        if (const ParameterDef* d = m_def.findParameter(p.name)) {
            auto it = d->display.find(raw);
            if (it != d->display.end()) return it->second;
            if (format.empty() && !d->format.empty()) return formatValue(p.value, d->format);
        }
        if (p.value.kind() == host::Variant::Kind::Date || !format.empty()) return formatValue(p.value, format);
    }
    return raw;
}

std::string Evaluator::expand(const std::string& templ, const Row* row) const {
    std::string out;
    out.reserve(templ.size() + 16);
    for (std::size_t i = 0; i < templ.size(); ++i) {
        char c = templ[i];
        if ((c == '{' || c == '}') && i + 1 < templ.size() && templ[i + 1] == c) {
            out += c;
            ++i;
            continue;
        }
        if (c != '{') {
            out += c;
            continue;
        }
        auto end = templ.find('}', i);  // syntax was checked when the definition was read
        expandPlaceholder(templ.substr(i + 1, end - i - 1), row, out);
        i = end;
    }
    return out;
}

// A parameter (P_...), else a field of the row, else a lookup.
void Evaluator::expandPlaceholder(const std::string& inside, const Row* row, std::string& out) const {
    auto bar = inside.find('|');
    std::string name = upperCase(inside.substr(0, bar));
    std::string format = bar == std::string::npos ? std::string() : inside.substr(bar + 1);
    if (name.rfind("P_", 0) == 0) {
        if (const ReportParam* p = m_data.findParam(name)) out += paramText(*p, true, format);
        return;
    }
    int f = m_data.fieldIndex(name);
    if (f >= 0 && row) {
        out += formatValue((*row)[f], format);
        return;
    }
    if (const host::Variant* l = m_data.lookup(name)) out += formatValue(*l, format);
}

}  // namespace pla013::reports::internal
