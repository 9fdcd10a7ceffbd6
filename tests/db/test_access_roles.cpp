// The PostgreSQL access roles and the branch wall, on a database of their
// own (rights on a database and on its public schema are per database),
// with login users made the way docs/database.md tells an administrator.

#include <gtest/gtest.h>

#include <unistd.h>

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "DbTestSupport.h"
#include "host/Errors.h"
#include "platform/appserver/AppServer.h"
#include "platform/db/AccessRoles.h"
#include "platform/db/DatabaseInitializer.h"
#include "platform/db/SociDatabase.h"
#include "platform/net/HttpTransport.h"

using pla013::db::SociDatabase;
using pla013::host::EHostError;
using pla013::host::Variant;

namespace {

// url with another user (and password) and another database; the host, port
// and options stay.
std::string withUserAndDatabase(const std::string& url, const std::string& user, const std::string& database) {
    const std::size_t start = url.find("://") + 3;
    const std::size_t slash = url.find('/', start);
    const std::size_t query = url.find('?', start);
    std::string authority = url.substr(start, (slash == std::string::npos ? query : slash) - start);
    if (!user.empty()) authority = user + ":senha-de-teste@" + authority.substr(authority.rfind('@') + 1);
    return url.substr(0, start) + authority + "/" + database + (query == std::string::npos ? "" : url.substr(query));
}

std::int64_t count(SociDatabase& db, const std::string& sql) {
    return db.query(sql, {}, "contagem").rows.at(0).at(0).toInt();
}

// A sample catering database with the roles applied, and one login user in
// each role. Everything made here is dropped at the end; the two group roles
// belong to the whole server and stay.
class RolesDatabase {
public:
    RolesDatabase() {
        const std::string url = dbtest::postgresTestUrl().value();
        const std::string suffix = std::to_string(::getpid());
        m_name = "pla013_papeis_" + suffix;
        m_server = "pla013_t_srv_" + suffix;
        m_office = "pla013_t_esc_" + suffix;
        m_admin = std::make_unique<SociDatabase>(url);
        dropAll();
        m_admin->execute("CREATE DATABASE " + m_name);
        m_url = withUserAndDatabase(url, "", m_name);
        pla013::db::initializeDatabase(m_url, true);
        owner = std::make_unique<SociDatabase>(m_url);
        pla013::db::grantAccessRoles(m_url);
        // A right granted by hand is taken back by the next run.
        owner->execute("GRANT INSERT, UPDATE ON PRATO TO pla013_servidor");
        pla013::db::grantAccessRoles(m_url);
        for (const auto& [user, role] :
             {std::pair{m_server, "pla013_servidor"}, std::pair{m_office, "pla013_escritorio"}})
            m_admin->execute("CREATE ROLE " + user + " LOGIN PASSWORD 'senha-de-teste' IN ROLE " + role);
        server = std::make_unique<SociDatabase>(withUserAndDatabase(url, m_server, m_name));
        office = std::make_unique<SociDatabase>(withUserAndDatabase(url, m_office, m_name));
    }
    ~RolesDatabase() {
        server.reset();
        office.reset();
        owner.reset();
        try {
            dropAll();
        } catch (...) {
            // Left behind, they only cost space on the test server.
        }
    }
    RolesDatabase(const RolesDatabase&) = delete;
    RolesDatabase& operator=(const RolesDatabase&) = delete;

    std::unique_ptr<SociDatabase> owner, server, office;
    // The server's login, as an application server connects.
    std::string serverUrl() const { return withUserAndDatabase(dbtest::postgresTestUrl().value(), m_server, m_name); }

private:
    void dropAll() {
        m_admin->execute("DROP DATABASE IF EXISTS " + m_name + " WITH (FORCE)");
        m_admin->execute("DROP ROLE IF EXISTS " + m_server);
        m_admin->execute("DROP ROLE IF EXISTS " + m_office);
    }

    std::unique_ptr<SociDatabase> m_admin;
    std::string m_name, m_server, m_office, m_url;
};

class AccessRoles : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (dbtest::postgresTestUrl()) s_db = new RolesDatabase();
    }
    static void TearDownTestSuite() {
        delete s_db;
        s_db = nullptr;
    }
    void SetUp() override {
        if (!dbtest::postgresTestUrl()) GTEST_SKIP() << "PLA013_TEST_PG_URL is not set";
    }
    static RolesDatabase* s_db;
};
RolesDatabase* AccessRoles::s_db = nullptr;

TEST_F(AccessRoles, GroupRolesHoldNoMoreThanTheyNeed) {
    RolesDatabase& d = *s_db;
    EXPECT_EQ(count(*d.owner,
                    "SELECT COUNT(*) FROM pg_roles r WHERE rolname IN ('pla013_servidor', 'pla013_escritorio')"
                    "  AND NOT (rolcanlogin OR rolsuper OR rolcreatedb OR rolcreaterole OR rolbypassrls)"
                    "  AND NOT EXISTS (SELECT 1 FROM pg_auth_members m WHERE m.member = r.oid)"
                    "  AND NOT EXISTS (SELECT 1 FROM pg_shdepend o WHERE o.refobjid = r.oid AND o.deptype = 'o')"
                    "  AND NOT has_database_privilege(r.oid, current_database(), 'CREATE, TEMPORARY')"
                    "  AND NOT has_schema_privilege(r.oid, current_schema(), 'CREATE')"),
              2);

    struct Refusal {
        SociDatabase* login;
        std::string sql;
        std::string reason = "permission denied";
    };
    const std::vector<Refusal> refused = {
        {d.server.get(), "CREATE TABLE INVASORA (X INTEGER)"},
        {d.server.get(), "CREATE TEMPORARY TABLE INVASORA (X INTEGER)"},
        {d.server.get(), "CREATE FUNCTION INVASORA() RETURNS integer LANGUAGE sql AS 'SELECT 1'"},
        {d.server.get(), "SELECT pg_read_file('/etc/passwd')"},
        {d.server.get(), "COPY (SELECT 1) TO PROGRAM 'true'", "privileges of the pg_execute_server_program role"},
        {d.server.get(), "INSERT INTO TIPOCUSTO (NRTIPOCUST, NMTIPOCUST) VALUES (99, 'x')"},
        {d.server.get(), "UPDATE PRATO SET NMPRATO = 'x'"},
        {d.server.get(), "DELETE FROM OPERFILI"},
        {d.office.get(), "CREATE TABLE INVASORA (X INTEGER)"},
        {d.office.get(), "UPDATE FILIAL SET NMFILIAL = 'x'"},
    };
    for (const Refusal& r : refused) {
        SCOPED_TRACE(r.sql);
        try {
            r.login->execute(r.sql);
            ADD_FAILURE() << "ran";
        } catch (const EHostError& e) {
            EXPECT_NE(std::string(e.what()).find(r.reason), std::string::npos) << e.what();
        }
    }
    for (SociDatabase* login : {d.server.get(), d.office.get()})
        EXPECT_EQ(login
                      ->query("SELECT NVL(NULL, 2) AS A, NVLSTR('', 'b') AS B, INSTR('abc', 'c') AS C, "
                              "(SELECT COUNT(*) FROM TIPOCUSTO) AS D",
                              {}, "funções")
                      .rows.at(0),
                  (std::vector<Variant>{Variant(std::int64_t(2)), Variant("b"), Variant(std::int64_t(3)),
                                        Variant(count(*d.owner, "SELECT COUNT(*) FROM TIPOCUSTO"))}));
}

TEST_F(AccessRoles, TheServerSeesABranchOnlyInACallOfAnOperatorOfIt) {
    RolesDatabase& d = *s_db;
    // Operator 2 may use 0002 and 0003, schools of the central kitchen 0001.
    struct Sight {
        SociDatabase* login;
        std::optional<std::string> op;  // none: no set_config in the transaction
        std::string rows;
        bool seen;
    };
    const std::vector<Sight> sights = {
        {d.server.get(), std::nullopt, "FILIAL", false},
        {d.server.get(), std::nullopt, "PRATO WHERE CDFILAUXPRAT <> 'P'", false},
        {d.server.get(), std::nullopt, "PRATO WHERE CDFILAUXPRAT = 'P'", true},
        {d.server.get(), "2", "RECEITALOCAL WHERE CDFILIAL = '0004'", false},
        {d.server.get(), "2", "RECEITALOCAL WHERE CDFILIAL = '0002'", true},
        {d.server.get(), "2", "PRATO WHERE CDFILAUXPRAT = '0004'", false},
        {d.server.get(), "2", "PRATO WHERE CDFILAUXPRAT IN ('P', '0002', '0003')", true},
        {d.server.get(), "2", "RECEITAPRATO WHERE CDFILAUXPRAT = 'P'", true},
        {d.server.get(), "2", "FILIAL WHERE CDFILIAL IN ('0001', '0002', '0003')", true},
        {d.server.get(), "2", "FILIAL WHERE CDFILIAL IN ('0004', '0006', '0008')", false},
        {d.server.get(), "2", "TIPOCARD WHERE CDFILCENTPME = '0001'", true},
        {d.server.get(), "2", "TIPOCARD WHERE CDFILCENTPME = '0008'", false},
        {d.server.get(), "2", "SERVICO WHERE CDFILIAL = '0001'", false},
        {d.server.get(), "2", "ITEMCARDAPIO WHERE CDFILIAL = '0002'", true},
        {d.server.get(), "2", "ITEMCARDAPIO WHERE CDFILIAL NOT IN ('0002', '0003')", false},
        {d.server.get(), "1", "RECEITALOCAL", true},
        {d.server.get(), "9", "FILIAL", false},
        // After those calls the setting exists, empty.
        {d.server.get(), std::nullopt, "RECEITALOCAL", false},
        {d.office.get(), std::nullopt, "RECEITALOCAL", true},
        {d.office.get(), std::nullopt, "FILIAL", true},
    };
    for (const Sight& s : sights) {
        SCOPED_TRACE(s.rows + " / operador " + s.op.value_or("(nenhum)"));
        const std::string sql = "SELECT COUNT(*) FROM " + s.rows;
        const std::int64_t all = count(*d.owner, sql);
        ASSERT_GT(all, 0);
        std::int64_t seen = -1;
        s.login->transaction([&] {
            if (s.op)
                s.login->query("SELECT set_config('" + std::string(pla013::db::kOperatorSetting) + "', :OP, true)",
                               {{"OP", Variant(*s.op)}}, "operador");
            seen = count(*s.login, sql);
        });
        EXPECT_EQ(seen, s.seen ? all : 0);
    }
}

}  // namespace

// The application server connected as the server's role: each call of a
// signed-in operator names the operator to the database, so the wall lets
// that operator's branches through, and only them.
TEST_F(AccessRoles, TheServersRoleServesTheSignedInOperatorsBranches) {
    using pla013::host::CallArg;
    using K = CallArg::Kind;
    pla013::appserver::AppServerOptions o;
    o.logLevel = pla013::appserver::LogLevel::Quiet;
    o.auth = pla013::appserver::AuthMode::Required;
    o.access.cost = pla013::appserver::PasswordCost::minimum();
    const std::string url = s_db->serverUrl();
    pla013::appserver::AppServer server([url] { return std::make_unique<SociDatabase>(url); }, o);
    server.start();
    pla013::net::HttpTransport client({}, {{"127.0.0.1", server.port()}});
    client.signIn("2", "filiais-0002-0003");
    const Variant date = Variant::date(pla013::host::EncodeDate(2024, 6, 30));
    auto rows = [](const Variant& result, std::size_t i) { return result.at(i).packet()->rows.size(); };

    const Variant own = client.Call("127.0.0.1", server.port(), "PLA01303.rdmEmissaoReceitas", "GetRelCompRecPL",
                                    {{K::TextByRef, Variant("0002")},
                                     {K::TextByRef, Variant("")},
                                     {K::TextByRef, Variant("")},
                                     {K::Int32, Variant(1)},
                                     {K::Date, date}});
    EXPECT_GT(rows(own, 1), 0u);  // standard lines
    EXPECT_GT(rows(own, 2), 0u);  // 0002's local lines, through the wall

    const Variant central = client.Call("127.0.0.1", server.port(), "PLA01303.rdmEmissaoReceitas", "GetRelPlCent",
                                        {{K::TextByRef, Variant("T")},
                                         {K::TextByRef, Variant("")},
                                         {K::TextByRef, Variant("")},
                                         {K::TextByValue, Variant("0002")},
                                         {K::Int32, Variant(1)},
                                         {K::Date, date}});
    ASSERT_EQ(central.at(0).toInt(), 0) << central.at(1).toString();
    std::set<std::string> branches;
    for (const auto& row : central.at(2).packet()->rows) branches.insert(row[0].toString());
    EXPECT_EQ(branches, (std::set<std::string>{"0002", "0003"}));
}
