#pragma once
// The content of one client data set as it travels between the application
// server and the client: field definitions, rows and nulls.

#include <string>
#include <vector>

#include "Variant.h"

namespace pla013::host {

enum class FieldType { String, Integer, Float, Date };

const char* FieldTypeName(FieldType t);  // "string", "integer", "float", "date"
bool ParseFieldType(const std::string& name, FieldType& out);

struct FieldDef {
    std::string name;
    FieldType type = FieldType::String;
    int size = 0;  // width of a string field; 0 elsewhere
    bool required = false;
};

// Each row holds one value per field: Null, or a value of the field's kind
// (Text for String, Integer, Float, Date).
struct DataPacket {
    std::vector<FieldDef> fields;
    std::vector<std::vector<Variant>> rows;

    int fieldIndex(const std::string& name) const;  // case-insensitive; -1 when absent
};

}  // namespace pla013::host
