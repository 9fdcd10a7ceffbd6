#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/DataPacket.h"
#include "host/Variant.h"

namespace pla013::host {

// A parameter of a query or a report, and the list that holds them.
class TParam {
public:
    TParam(std::string name, FieldType type) : m_name(std::move(name)), m_type(type) {}
    const std::string& Name() const { return m_name; }
    FieldType DataType() const { return m_type; }
    const Variant& Value() const { return m_value; }
    void SetValue(const Variant& v) { m_value = v; }
    bool IsNull() const { return m_value.isNullOrUnassigned(); }
    bool Bound() const { return m_bound; }

    std::string AsString() const { return m_value.toString(); }
    void SetAsString(const std::string& v);
    void SetAsInteger(std::int64_t v);
    void SetAsDate(TDateTime v);  // date part only
    void SetAsDateTime(TDateTime v);
    void Clear();  // Null, still bound

private:
    std::string m_name;
    FieldType m_type;
    Variant m_value;  // unassigned until set
    bool m_bound = false;
};

// Parameter list; names compare without regard to case.
class TParams {
public:
    TParam& CreateParam(FieldType type, const std::string& name);
    TParam* FindParam(const std::string& name);
    TParam& ParamByName(const std::string& name);  // EHostError when absent
    std::size_t Count() const { return m_params.size(); }
    TParam& operator[](std::size_t i) { return *m_params[i]; }
    const TParam& operator[](std::size_t i) const { return *m_params[i]; }
    void Clear() { m_params.clear(); }

private:
    std::vector<std::unique_ptr<TParam>> m_params;
};

}  // namespace pla013::host
