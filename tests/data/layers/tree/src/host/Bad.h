// The framework knows nothing of the module or the host.
#include "form/Other.h"
#include <QString>
#include <vector>
