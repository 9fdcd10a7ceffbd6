#include "platform/appserver/OperatorAccounts.h"

#include <map>

#include "host/Errors.h"

namespace pla013::appserver {

using host::Variant;

namespace {

std::string textOf(const Variant& v) { return v.isNullOrUnassigned() ? std::string() : v.toString(); }
std::int64_t intOf(const Variant& v) { return v.isNullOrUnassigned() ? 0 : v.toInt(); }

}  // namespace

OperatorAccounts::OperatorAccounts(db::SociDatabase& db, PasswordCost cost) : m_db(db), m_hash(cost) {}

std::string OperatorAccounts::registeredName(const std::string& code) {
    const host::DataPacket p = m_db.query("SELECT NMOPERADOR FROM OPERADOR WHERE CDOPERADOR = :P_CDOPERADOR",
                                          {{"P_CDOPERADOR", Variant(code)}}, "operador");
    if (p.rows.empty()) throw host::EHostError("Operador " + code + " não cadastrado.");
    return textOf(p.rows.front()[0]);
}

bool OperatorAccounts::hasPassword(const std::string& code) {
    return !m_db.query("SELECT 1 AS HA FROM OPERSENHA WHERE CDOPERADOR = :P_CDOPERADOR",
                       {{"P_CDOPERADOR", Variant(code)}}, "senha do operador")
                .rows.empty();
}

void OperatorAccounts::add(const std::string& code, const std::string& password, std::int64_t now) {
    const std::string name = registeredName(code);
    if (hasPassword(code))
        throw host::EHostError("O operador " + code + " já tem senha; para trocá-la use pla013 operator passwd " +
                               code + ".");
    if (auto weak = PasswordHash::weakness(password, code, name)) throw host::EHostError(*weak);
    m_db.execute(
        "INSERT INTO OPERSENHA (CDOPERADOR, DSHASHSENHA, DTALTERSENHA) VALUES (:P_CDOPERADOR, :P_HASH, "
        ":P_AGORA)",
        {{"P_CDOPERADOR", Variant(code)}, {"P_HASH", Variant(m_hash.hash(password))}, {"P_AGORA", Variant(now)}},
        "nova senha");
}

void OperatorAccounts::setPassword(const std::string& code, const std::string& password, std::int64_t now,
                                   bool mustChange) {
    const std::string name = registeredName(code);
    if (!hasPassword(code))
        throw host::EHostError("O operador " + code + " ainda não tem senha; use pla013 operator add " + code + ".");
    if (auto weak = PasswordHash::weakness(password, code, name)) throw host::EHostError(*weak);
    const std::string hash = m_hash.hash(password);
    m_db.transaction([&] {
        m_db.execute(
            "UPDATE OPERSENHA SET DSHASHSENHA = :P_HASH, DTALTERSENHA = :P_AGORA, IDTROCASENHA = :P_TROCA, "
            "QTFALHAS = 0, DTPRIMFALHA = NULL, IDFALHACONH = 'N' WHERE CDOPERADOR = :P_CDOPERADOR",
            {{"P_HASH", Variant(hash)},
             {"P_AGORA", Variant(now)},
             {"P_TROCA", Variant(std::string(mustChange ? "S" : "N"))},
             {"P_CDOPERADOR", Variant(code)}},
            "troca de senha");
        m_db.execute("DELETE FROM OPERSESSAO WHERE CDOPERADOR = :P_CDOPERADOR", {{"P_CDOPERADOR", Variant(code)}},
                     "sessões do operador");
    });
}

void OperatorAccounts::lock(const std::string& code) {
    registeredName(code);
    if (!hasPassword(code)) throw host::EHostError("O operador " + code + " não tem senha: não há o que bloquear.");
    m_db.transaction([&] {
        m_db.execute("UPDATE OPERSENHA SET IDBLOQUEADO = 'S' WHERE CDOPERADOR = :P_CDOPERADOR",
                     {{"P_CDOPERADOR", Variant(code)}}, "bloqueio do operador");
        m_db.execute("DELETE FROM OPERSESSAO WHERE CDOPERADOR = :P_CDOPERADOR", {{"P_CDOPERADOR", Variant(code)}},
                     "sessões do operador");
    });
}

void OperatorAccounts::unlock(const std::string& code) {
    registeredName(code);
    if (!hasPassword(code)) throw host::EHostError("O operador " + code + " não tem senha: não há o que desbloquear.");
    m_db.execute(
        "UPDATE OPERSENHA SET IDBLOQUEADO = 'N', DTBLOQATE = NULL, IDBLOQTOTAL = 'N', QTFALHAS = 0, "
        "DTPRIMFALHA = NULL, IDFALHACONH = 'N' WHERE CDOPERADOR = :P_CDOPERADOR",
        {{"P_CDOPERADOR", Variant(code)}}, "desbloqueio do operador");
}

std::vector<OperatorAccount> OperatorAccounts::list() {
    const host::DataPacket ops = m_db.query(
        "SELECT O.CDOPERADOR, O.NMOPERADOR, O.IDTODASFILI, S.CDOPERADOR AS TEMSENHA, S.IDBLOQUEADO, S.DTBLOQATE, "
        "S.IDTROCASENHA, S.DTALTERSENHA, (SELECT COUNT(*) FROM OPERSESSAO X WHERE X.CDOPERADOR = O.CDOPERADOR) AS QT "
        "FROM OPERADOR O LEFT JOIN OPERSENHA S ON S.CDOPERADOR = O.CDOPERADOR ORDER BY O.CDOPERADOR",
        {}, "operadores");
    std::map<std::string, std::vector<std::string>> branches;
    for (const auto& r :
         m_db.query("SELECT CDOPERADOR, CDFILIAL FROM OPERFILI ORDER BY CDOPERADOR, CDFILIAL", {}, "filiais").rows)
        branches[textOf(r[0])].push_back(textOf(r[1]));
    std::vector<OperatorAccount> out;
    for (const auto& r : ops.rows) {
        OperatorAccount a;
        a.code = textOf(r[0]);
        a.name = textOf(r[1]);
        a.allBranches = textOf(r[2]) == "S";
        a.branches = branches[a.code];
        a.hasPassword = !textOf(r[3]).empty();
        a.disabled = textOf(r[4]) == "S";
        a.lockedUntil = intOf(r[5]);
        a.mustChange = textOf(r[6]) == "S";
        a.changedAt = intOf(r[7]);
        a.sessions = int(intOf(r[8]));
        out.push_back(std::move(a));
    }
    return out;
}

}  // namespace pla013::appserver
