#include "platform/appserver/RemoteModule.h"

namespace pla013::appserver {

RemoteModule::~RemoteModule() = default;

}  // namespace pla013::appserver
