#include "host/Field.h"

#include "host/DataSet.h"
#include "host/Errors.h"
#include "host/internal/DataValues.h"

namespace pla013::host {

using internal::coerce;
using internal::trim;

// Display attributes start from the definition, as a field shown in a list
// without a designed label shows its name at its width.
TField::TField(TDataSet& owner, FieldDef def) : m_owner(owner), m_def(std::move(def)) {
    DisplayLabel = m_def.name;
    DisplayWidth = m_def.size;
}

Variant TField::Value() const { return m_owner.CurrentValue(m_index); }

bool TField::IsNull() const { return Value().isNullOrUnassigned(); }

std::string TField::AsString() const { return Value().toString(); }

std::int64_t TField::AsInteger() const { return Value().toInt(); }

double TField::AsFloat() const { return Value().toDouble(); }

TDateTime TField::AsDateTime() const {
    const Variant v = Value();
    return v.isNullOrUnassigned() ? 0.0 : v.toDate();
}

// A text longer than the field's width is stored whole: the width describes
// the column for display and reports, and cutting a value here would lose
// data without telling anyone.
void TField::SetValue(const Variant& v) {
    Variant converted;
    try {
        converted = coerce(v, m_def.type);
    } catch (const EVariantError& e) {
        throw EHostError(m_owner.Name() + ": valor inválido para o campo '" + m_def.name + "': " + e.what());
    }
    m_owner.WriteCurrent(m_index, converted);
}

// Empty text clears a number or date field, as typing nothing into it would.
void TField::SetAsString(const std::string& v) {
    if (m_def.type != FieldType::String && trim(v).empty()) {
        Clear();
        return;
    }
    SetValue(Variant(v));
}

void TField::SetAsInteger(std::int64_t v) { SetValue(Variant(v)); }

void TField::SetAsFloat(double v) { SetValue(Variant(v)); }

void TField::Clear() { SetValue(Variant::null()); }

}  // namespace pla013::host
