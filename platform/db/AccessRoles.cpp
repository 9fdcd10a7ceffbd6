#include "platform/db/AccessRoles.h"

#include <cstring>

#include "host/Errors.h"
#include "platform/db/SociDatabase.h"
#include "platform/db/internal/EmbeddedSql.h"

namespace pla013::db {

using host::EHostError;

void grantAccessRoles(const std::string& url) {
    if (!SociDatabase::isPostgresUrl(url))
        throw EHostError("'" + url +
                         "' não é um banco PostgreSQL: o SQLite não tem papéis de acesso nem separação por filial "
                         "(quem lê o arquivo lê tudo); proteja o arquivo com as permissões do sistema.");
    SociDatabase database(url);
    // The tables' owner alone may put row security on them; checked first
    // for a message in the user's terms.
    const host::DataPacket state = database.query(
        "SELECT CASE WHEN current_schema() IS NULL OR to_regclass('FILIAL') IS NULL THEN 0"
        "            WHEN NOT pg_has_role((SELECT relowner FROM pg_class WHERE oid = to_regclass('FILIAL')), 'USAGE')"
        "            THEN 1 ELSE 2 END AS ESTADO",
        {}, "papéis");
    switch (state.rows.at(0).at(0).toInt()) {
        case 0:
            throw EHostError(
                "O banco de dados " + database.location() +
                " não tem as tabelas do catering (crie-as com 'pla013 db init'); nenhum papel foi criado.");
        case 1:
            throw EHostError("O usuário de " + database.location() +
                             " não é o dono das tabelas do catering; os papéis de acesso são criados pelo dono "
                             "(ou por um superusuário). Nada foi mudado.");
        default: break;
    }
    try {
        database.transaction([&] {
            for (const internal::EmbeddedSqlFile& file : internal::embeddedSqlFiles())
                if (std::strcmp(file.folder, "postgresql/roles") == 0)
                    database.executeScript(std::string(file.content()),
                                           std::string("db/postgresql/roles/") + file.name);
        });
    } catch (const EHostError& e) {
        throw EHostError("Não foi possível criar os papéis de acesso em " + database.location() + ": " + e.what());
    }
}

}  // namespace pla013::db
