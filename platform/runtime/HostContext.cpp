#include "platform/runtime/HostContext.h"

#include "host/Errors.h"

namespace pla013::runtime {

HostContext::HostContext(const HostOptions& options, host::DishPicture picture, std::string serverHost, int serverPort)
    : m_options(options),
      m_picture(std::move(picture)),
      m_serverHost(std::move(serverHost)),
      m_serverPort(serverPort),
      m_reportFolder(options.reports.empty() ? defaultReportFolder() : options.reports) {}

HostContext::~HostContext() = default;

host::TDateTime HostContext::DataProc(const std::string&) {
    // One processing date for every branch of this host session.
    host::TDateTime d;
    if (!m_options.date.empty() && host::TryIsoToDate(m_options.date, d)) return d;
    return host::Today();
}

host::DishPicture HostContext::loadDishPicture(host::IDatabase& db) {
    host::QueryRequest q;
    q.name = "DishPicture";
    q.sql.generic = "SELECT NRTAMACUM FROM CODEPICTURE WHERE TPPICT = :P_TPPICT ORDER BY NRNIVEL";
    q.params = {{"P_TPPICT", host::Variant("PRATO")}};
    host::DataPacket p = db.Open(q);
    host::DishPicture picture;
    for (const auto& row : p.rows) picture.levels.push_back(int(row[0].toInt()));
    if (picture.levels.empty())
        throw host::EHostError("O banco de dados não tem a máscara do código de prato (CODEPICTURE 'PRATO').");
    return picture;
}

}  // namespace pla013::runtime
