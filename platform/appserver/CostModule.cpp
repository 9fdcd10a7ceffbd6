#include "platform/appserver/CostModule.h"

#include <memory>

#include "host/DataPacket.h"
#include "platform/appserver/internal/PacketBuilder.h"
#include "platform/appserver/internal/RecipeSql.h"

namespace pla013::appserver {

CostModule::CostModule() : m_name("CUS00000.rdmCustProd") {
    m_methods.push_back({"ListaTipoCusto", {}, &CostModule::listaTipoCusto});
}

const std::string& CostModule::name() const { return m_name; }

const std::vector<RemoteMethod>& CostModule::methods() const { return m_methods; }

host::Variant CostModule::listaTipoCusto(MethodCall& call) {
    const std::string what = "ListaTipoCusto";
    host::QueryRequest request;
    request.name = what;
    request.sql.generic = internal::sql::costTypes();
    const host::DataPacket rows = call.db.Open(request);
    const internal::ResultColumns col(rows, {"NRTIPOCUST", "NMTIPOCUST"}, what);

    auto packet = std::make_shared<host::DataPacket>();
    packet->fields = {{"NRTIPOCUST", host::FieldType::Integer, 0}, {"NMTIPOCUST", host::FieldType::String, 40}};
    packet->rows.reserve(rows.rows.size());
    for (const auto& row : rows.rows)
        packet->rows.push_back({internal::asInteger(row[col[0]], what), internal::asText(row[col[1]])});
    return host::Variant(std::shared_ptr<const host::DataPacket>(std::move(packet)));
}

}  // namespace pla013::appserver
