#include "host/Ports.h"

#include "host/Errors.h"

namespace pla013::host {

IHostContext::~IHostContext() = default;
IDatabase::~IDatabase() = default;
INetTransport::~INetTransport() = default;
IUserInterface::~IUserInterface() = default;
IReportRunner::~IReportRunner() = default;

namespace {
Ports g_ports;

template <class T>
T& required(T* port, const char* what) {
    if (!port) throw EHostError(std::string("The host has not installed its ") + what + ".");
    return *port;
}
}  // namespace

void Install(const Ports& ports) { g_ports = ports; }
const Ports& InstalledPorts() { return g_ports; }
IHostContext& Context() { return required(g_ports.context, "working context"); }
IDatabase& Database() { return required(g_ports.database, "database connection"); }
INetTransport& Transport() { return required(g_ports.transport, "application-server transport"); }
IUserInterface& UI() { return required(g_ports.ui, "user interface"); }
IReportRunner& Reports() { return required(g_ports.reports, "report dialog"); }

}  // namespace pla013::host
