// The server links no Qt and no report engine.
#include <QWidget>
#include "platform/reports/Engine.h"
#include "platform/net/Ok.h"
#include <sys/socket.h>
