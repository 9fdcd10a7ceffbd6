#include "host/NetConnection.h"

#include "host/Errors.h"

namespace pla013::host {

void TNetConnection::open() {
    if (BeforeConnect) BeforeConnect(this);
    Transport().Connect(m_host, m_port);
    m_connected = true;
    m_lastError.clear();
}

void TNetConnection::SetConnected(bool connected) {
    if (connected == m_connected) return;
    if (!connected) {
        m_connected = false;
        return;
    }
    if (ThrowException) {
        open();
        return;
    }
    try {
        open();
    } catch (const EHostError& e) {
        m_lastError = e.what();
        if (InstalledPorts().ui) UI().Log(Name() + ": " + m_lastError);
    }
}

Variant TNetConnection::Call(const std::string& method, const std::vector<CallArg>& args) {
    if (!m_connected && !ThrowException) open();
    if (!m_connected)
        throw EHostError("A conexão " + Name() + " com o servidor de aplicação (" + ServerName + ") não está aberta.");
    try {
        return Transport().Call(m_host, m_port, ServerName, method, args);
    } catch (const EInvalidAnswer& e) {
        if (InstalledPorts().ui) UI().Log(ServerName + "." + method + ": " + e.detail());
        throw;
    }
}

}  // namespace pla013::host
