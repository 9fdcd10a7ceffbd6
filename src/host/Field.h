#pragma once
#include <cstdint>
#include <string>

#include "host/DataPacket.h"
#include "host/Variant.h"

namespace pla013::host {

class TDataSet;

// A field of a data set: definition plus access to the current row's value.
class TField {
public:
    TField(TDataSet& owner, FieldDef def);
    const std::string& FieldName() const { return m_def.name; }
    FieldType DataType() const { return m_def.type; }
    int Size() const { return m_def.size; }
    bool Required() const { return m_def.required; }
    const FieldDef& Def() const { return m_def; }

    // Display attributes (persistent fields of lookup queries).
    std::string DisplayLabel;
    int DisplayWidth = 0;
    bool Visible = true;
    std::string EditMask;

    // Current row; reading a closed or empty data set gives Null.
    Variant Value() const;
    bool IsNull() const;
    std::string AsString() const;
    std::int64_t AsInteger() const;
    double AsFloat() const;
    TDateTime AsDateTime() const;
    // Writing needs the data set in edit or insert state (EHostError otherwise).
    void SetValue(const Variant& v);
    void SetAsString(const std::string& v);
    void SetAsInteger(std::int64_t v);
    void SetAsFloat(double v);
    void Clear();

private:
    friend class TDataSet;
    TDataSet& m_owner;
    FieldDef m_def;
    int m_index = -1;  // column in the data set's storage
};

}  // namespace pla013::host
