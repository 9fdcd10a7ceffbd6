#include "host/NetConnection.h"

#include "host/Errors.h"

namespace pla013::host {

void TNetConnection::SetConnected(bool connected) {
    if (connected == m_connected) return;
    if (!connected) {
        m_connected = false;
        return;
    }
    if (BeforeConnect) BeforeConnect(this);
    Transport().Connect(m_host, m_port);
    m_connected = true;
}

Variant TNetConnection::Call(const std::string& method, const std::vector<CallArg>& args) {
    if (!m_connected)
        throw EHostError("A conexão " + Name() + " com o servidor de aplicação (" + ServerName + ") não está aberta.");
    return Transport().Call(m_host, m_port, ServerName, method, args);
}

}  // namespace pla013::host
