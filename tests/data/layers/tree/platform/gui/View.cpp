#include <QWidget>
#include "platform/runtime/HostContext.h"
#include "apps/pla013/Main.h"
