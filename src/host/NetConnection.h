#pragma once
#include <string>
#include <vector>

#include "Controls.h"
#include "Ports.h"
#include "Variant.h"

namespace pla013::host {

// Socket connection to one remote data module of the application server.
class TNetConnection : public TObject {
public:
    explicit TNetConnection(std::string name, std::string serverName = {})
        : TObject(std::move(name)), ServerName(std::move(serverName)) {}
    std::string ServerName;
    bool ThrowException = true;
    const std::string& Host() const { return m_host; }
    void SetHost(const std::string& host) { m_host = host; }  // TSocketConnection.SetHost
    int Port() const { return m_port; }
    void SetPort(int port) { m_port = port; }

    bool Connected() const { return m_connected; }
    // Opening runs BeforeConnect first, then reaches the server; a server that
    // does not answer is an EHostError naming the address.
    void SetConnected(bool connected);
    TNotifyEvent BeforeConnect;

    // Late-bound call of a method of the remote data module.
    Variant Call(const std::string& method, const std::vector<CallArg>& args);

private:
    std::string m_host;
    int m_port = 0;
    bool m_connected = false;
};

}  // namespace pla013::host
