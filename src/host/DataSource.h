#pragma once
#include <string>

#include "host/Controls.h"

namespace pla013::host {

class TDataSet;

// Names a data set for the controls and reports that show it.
class TDataSource : public TObject {
public:
    explicit TDataSource(std::string name, TDataSet* dataSet = nullptr) : TObject(std::move(name)), DataSet(dataSet) {}
    TDataSet* DataSet;
};

}  // namespace pla013::host
