// Filter texts of client data sets: parsed, bound to a fixed set of fields of
// every kind and matched against one row. FilterSyntaxError (bad syntax) and
// EHostError (an unknown field, a literal that does not suit its field) are
// the documented refusals.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/Errors.h"
#include "host/internal/FilterExpression.h"

using namespace pla013::host;

namespace {

const std::vector<FieldDef>& fields() {
    static const std::vector<FieldDef> defs = [] {
        std::vector<FieldDef> d(4);
        d[0].name = "CDPRATO";
        d[0].type = FieldType::String;
        d[0].size = 10;
        d[1].name = "NRNIVEL";
        d[1].type = FieldType::Integer;
        d[2].name = "VLCUSTO";
        d[2].type = FieldType::Float;
        d[3].name = "DTINICIO";
        d[3].type = FieldType::Date;
        return d;
    }();
    return defs;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        internal::FilterExpression filter(text);
        filter.resolve(
            "cdsFuzz",
            [](const std::string& name) {
                for (std::size_t i = 0; i < fields().size(); ++i)
                    if (fields()[i].name == name) return static_cast<int>(i);
                return -1;
            },
            [](int column) -> const FieldDef& { return fields()[static_cast<std::size_t>(column)]; });
        const std::vector<Variant> row = {Variant(std::string("0101")), Variant(3), Variant(2.5), Variant()};
        filter.matches(row);
        std::vector<int> columns;
        std::vector<Variant> values;
        filter.equalities(columns, values);
    } catch (const internal::FilterSyntaxError&) {
    } catch (const EHostError&) {}
    return 0;
}
