#pragma once
// The columns a list dialog shows for a data set: the fields asked for, or
// every visible field, with their display labels and widths.

#include <string>
#include <vector>

#include "host/Data.h"

namespace pla013::gui::internal {

struct DataColumn {
    std::string field;
    std::string label;
    int width = 10;  // characters
};

inline std::vector<DataColumn> dataColumns(host::TDataSet& data, const std::vector<std::string>& wanted) {
    std::vector<DataColumn> out;
    auto add = [&out](const host::TField& f) {
        DataColumn c;
        c.field = f.FieldName();
        c.label = f.DisplayLabel.empty() ? f.FieldName() : f.DisplayLabel;
        c.width = f.DisplayWidth > 0 ? f.DisplayWidth : (f.Size() > 0 ? f.Size() : 10);
        out.push_back(std::move(c));
    };
    if (!wanted.empty()) {
        for (const auto& name : wanted)
            if (host::TField* f = data.FindField(name)) add(*f);
    }
    if (out.empty())
        for (const auto& f : data.Fields())
            if (f->Visible) add(*f);
    if (out.empty() && !data.Fields().empty()) add(*data.Fields().front());
    return out;
}

}  // namespace pla013::gui::internal
