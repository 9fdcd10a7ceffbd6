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
    // False: a connection that cannot be made is logged, not raised, and the
    // component stays closed; the next call connects again and raises then
    // (the call needs the server).
    bool ThrowException = true;
    const std::string& Host() const { return m_host; }
    void SetHost(const std::string& host) { m_host = host; }  // TSocketConnection.SetHost
    int Port() const { return m_port; }
    void SetPort(int port) { m_port = port; }

    bool Connected() const { return m_connected; }
    // Opening runs BeforeConnect first, then reaches the server; a server that
    // does not answer is an EHostError naming the address (with
    // ThrowException false: logged, kept in LastError, and the component stays
    // closed).
    void SetConnected(bool connected);
    TNotifyEvent BeforeConnect;
    // Why the last opening failed; empty after one that succeeded.
    const std::string& LastError() const { return m_lastError; }

    // Late-bound call of a method of the remote data module. On a component
    // that does not throw and is closed (its opening failed), the call opens
    // it first, and a server still out of reach is then an EHostError.
    Variant Call(const std::string& method, const std::vector<CallArg>& args);

private:
    void open();

    std::string m_host;
    int m_port = 0;
    bool m_connected = false;
    std::string m_lastError;
};

}  // namespace pla013::host
