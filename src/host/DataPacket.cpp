#include "host/DataPacket.h"

#include <cctype>

namespace pla013::host {

namespace {

bool sameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

const char* FieldTypeName(FieldType t) {
    switch (t) {
        case FieldType::String: return "string";
        case FieldType::Integer: return "integer";
        case FieldType::Float: return "float";
        case FieldType::Date: return "date";
    }
    return "string";
}

bool ParseFieldType(const std::string& name, FieldType& out) {
    for (FieldType t : {FieldType::String, FieldType::Integer, FieldType::Float, FieldType::Date}) {
        if (sameText(name, FieldTypeName(t))) {
            out = t;
            return true;
        }
    }
    return false;
}

int DataPacket::fieldIndex(const std::string& name) const {
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (sameText(fields[i].name, name)) return int(i);
    return -1;
}

}  // namespace pla013::host
