#include "host/Ports.h"

#include "host/Errors.h"

namespace pla013::host {

IHostContext::~IHostContext() = default;
IRowCursor::~IRowCursor() = default;
IDatabase::~IDatabase() = default;

namespace {

class PacketCursor final : public IRowCursor {
public:
    explicit PacketCursor(DataPacket packet) : m_packet(std::move(packet)) {}
    const std::vector<FieldDef>& fields() const override { return m_packet.fields; }
    bool next(std::vector<Variant>& row) override {
        if (m_next >= m_packet.rows.size()) return false;
        row = std::move(m_packet.rows[m_next++]);
        return true;
    }

private:
    DataPacket m_packet;
    std::size_t m_next = 0;
};

}  // namespace

std::unique_ptr<IRowCursor> IDatabase::Read(const QueryRequest& request) {
    return std::make_unique<PacketCursor>(Open(request));
}
void IDatabase::RunReadOnly(const std::function<void()>& work) { work(); }
INetTransport::~INetTransport() = default;
IUserInterface::~IUserInterface() = default;
IReportRunner::~IReportRunner() = default;

namespace {
Ports g_ports;

template <class T>
T& required(T* port, const char* what) {
    if (!port) throw EHostError(std::string("A aplicação principal não forneceu ") + what + ".");
    return *port;
}
}  // namespace

void Install(const Ports& ports) { g_ports = ports; }
const Ports& InstalledPorts() { return g_ports; }
IHostContext& Context() { return required(g_ports.context, "o contexto de trabalho"); }
IDatabase& Database() { return required(g_ports.database, "a conexão com o banco de dados"); }
INetTransport& Transport() { return required(g_ports.transport, "o transporte do servidor de aplicação"); }
IUserInterface& UI() { return required(g_ports.ui, "a interface com o usuário"); }
IReportRunner& Reports() { return required(g_ports.reports, "o diálogo de relatórios"); }

}  // namespace pla013::host
