#pragma once
#include <string>
#include <vector>

#include "host/DataSet.h"
#include "host/Params.h"
#include "host/Ports.h"

namespace pla013::host {

// A lookup query of the catering database. SQL texts per dialect; string
// parameters, changed only while the query is closed.
class TADOIBQuery : public TDataSet {
public:
    explicit TADOIBQuery(std::string name);
    SqlTexts SQL;
    TParams& Params() { return m_params; }
    TParam& ParamByName(const std::string& name);  // EHostError when open or absent
    // A persistent field: its definition, label and display width; persistent
    // fields must all come back from the database.
    TField* AddPersistentField(FieldDef def, const std::string& label = {}, int displayWidth = 0, bool visible = true);
    void Open() override;
    void Close() override;

private:
    TParams m_params;
    std::vector<FieldDef> m_persistent;
    struct Display {
        std::string label;
        int width;
        bool visible;
    };
    std::vector<Display> m_display;
};

}  // namespace pla013::host
