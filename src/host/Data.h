#pragma once
// Data components: fields, data sets, lookup queries, in-memory client data
// sets, data sources and parameters. One header per class; this one gathers
// them for callers that use several.

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/ADOIBQuery.h"
#include "host/ClientDataSet.h"
#include "host/Controls.h"
#include "host/DataPacket.h"
#include "host/DataSet.h"
#include "host/DataSource.h"
#include "host/Field.h"
#include "host/Params.h"
#include "host/Ports.h"
#include "host/Variant.h"
