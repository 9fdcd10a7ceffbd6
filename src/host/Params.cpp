#include "host/Params.h"

#include <cmath>

#include "host/Errors.h"
#include "host/internal/DataValues.h"

namespace pla013::host {

using internal::sameName;

void TParam::SetAsString(const std::string& v) {
    m_value = Variant(v);
    m_type = FieldType::String;
    m_bound = true;
}

void TParam::SetAsInteger(std::int64_t v) {
    m_value = Variant(v);
    m_type = FieldType::Integer;
    m_bound = true;
}

void TParam::SetAsDate(TDateTime v) {
    m_value = Variant::date(std::floor(v));
    m_type = FieldType::Date;
    m_bound = true;
}

void TParam::SetAsDateTime(TDateTime v) {
    m_value = Variant::date(v);
    m_type = FieldType::Date;
    m_bound = true;
}

void TParam::Clear() {
    m_value = Variant::null();
    m_bound = true;
}

TParam& TParams::CreateParam(FieldType type, const std::string& name) {
    m_params.push_back(std::make_unique<TParam>(name, type));
    return *m_params.back();
}

TParam* TParams::FindParam(const std::string& name) {
    for (auto& p : m_params)
        if (sameName(p->Name(), name)) return p.get();
    return nullptr;
}

TParam& TParams::ParamByName(const std::string& name) {
    if (TParam* p = FindParam(name)) return *p;
    throw EHostError("Parâmetro '" + name + "' não encontrado.");
}

}  // namespace pla013::host
