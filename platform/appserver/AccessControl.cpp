#include "platform/appserver/AccessControl.h"

#include <sodium.h>

#include <algorithm>

namespace pla013::appserver {

using host::Variant;

namespace {

std::string trimmed(const std::string& s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

std::string hex(const unsigned char* bytes, std::size_t n) {
    std::string out(n * 2 + 1, '\0');
    sodium_bin2hex(out.data(), out.size(), bytes, n);
    out.pop_back();
    return out;
}

std::string newToken() {
    unsigned char bytes[32];
    randombytes_buf(bytes, sizeof bytes);
    char out[sodium_base64_ENCODED_LEN(sizeof bytes, sodium_base64_VARIANT_URLSAFE_NO_PADDING)];
    sodium_bin2base64(out, sizeof out, bytes, sizeof bytes, sodium_base64_VARIANT_URLSAFE_NO_PADDING);
    return out;
}

std::int64_t intOf(const Variant& v) { return v.isNullOrUnassigned() ? 0 : v.toInt(); }

std::string textOf(const Variant& v) { return v.isNullOrUnassigned() ? std::string() : v.toString(); }

// The operator's password row, with the columns by name.
struct Account {
    std::string code, name, hash, knownAddress;
    bool disabled = false, mustChange = false, lockAll = false;
    std::int64_t lockedUntil = 0;
};

std::optional<Account> account(db::SociDatabase& db, const std::string& code) {
    const host::DataPacket p = db.query(
        "SELECT O.NMOPERADOR, S.DSHASHSENHA, S.IDBLOQUEADO, S.IDTROCASENHA, S.DTBLOQATE, S.IDBLOQTOTAL, "
        "S.DSENDERCONH FROM OPERSENHA S JOIN OPERADOR O ON O.CDOPERADOR = S.CDOPERADOR "
        "WHERE S.CDOPERADOR = :P_CDOPERADOR",
        {{"P_CDOPERADOR", Variant(code)}}, "senha do operador");
    if (p.rows.empty()) return std::nullopt;
    const auto& r = p.rows.front();
    Account a;
    a.code = code;
    a.name = textOf(r[0]);
    a.hash = textOf(r[1]);
    a.disabled = textOf(r[2]) == "S";
    a.mustChange = textOf(r[3]) == "S";
    a.lockedUntil = intOf(r[4]);
    a.lockAll = textOf(r[5]) == "S";
    a.knownAddress = textOf(r[6]);
    return a;
}

}  // namespace

SignInVerdict verdictOf(SignInOutcome::Result result) {
    using R = SignInOutcome::Result;
    switch (result) {
        case R::SignedIn: return {200, "", "entrada"};
        case R::BadCredentials: return {401, "bad_credentials", "falha"};
        case R::Locked: return {429, "locked", "bloqueio"};
        case R::AddressThrottled: return {429, "too_many_attempts", "falha"};
        case R::Disabled: return {403, "account_locked", "recusa"};
        case R::PasswordExpired: return {403, "password_expired", "recusa"};
    }
    return {401, "bad_credentials", "falha"};
}

std::string tokenHash(const std::string& token) {
    unsigned char digest[32];
    crypto_generichash(digest, sizeof digest, reinterpret_cast<const unsigned char*>(token.data()), token.size(),
                       nullptr, 0);
    return hex(digest, sizeof digest);
}

AccessControl::AccessControl(AccessPolicy policy) : m_policy(std::move(policy)), m_hash(m_policy.cost) {}

std::int64_t AccessControl::now() const {
    if (m_policy.clock) return m_policy.clock();
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string AccessControl::waitText(std::int64_t seconds) {
    if (seconds < 60) return std::to_string(std::max<std::int64_t>(seconds, 1)) + " segundos";
    const std::int64_t minutes = (seconds + 59) / 60;
    return std::to_string(minutes) + (minutes == 1 ? " minuto" : " minutos");
}

SignInOutcome AccessControl::signIn(db::SociDatabase& db, const std::string& operatorCode, const std::string& password,
                                    const std::string& address) const {
    using R = SignInOutcome::Result;
    SignInOutcome out;
    out.operatorCode = trimmed(operatorCode);
    const std::int64_t t = now();
    const std::int64_t windowStart = t - m_policy.failureWindow.count();

    auto addressFailed = [&] {
        db.execute("INSERT INTO ACESSOFALHA (DSENDERECO, DTFALHA) VALUES (:P_ENDERECO, :P_AGORA)",
                   {{"P_ENDERECO", Variant(address)}, {"P_AGORA", Variant(t)}}, "falha por endereço");
    };
    auto refuse = [&](R result, std::string message, std::int64_t retryAfter = 0) {
        out.result = result;
        out.message = std::move(message);
        out.retryAfter = retryAfter;
        return out;
    };
    const std::string badCredentials = "Operador ou senha incorretos.";

    // An address that failed too often waits, whoever it names.
    db.execute("DELETE FROM ACESSOFALHA WHERE DTFALHA <= :P_INICIO", {{"P_INICIO", Variant(windowStart)}},
               "falhas antigas");
    const host::DataPacket recent = db.query(
        "SELECT COUNT(*) AS QT, MIN(DTFALHA) AS DTPRIM FROM ACESSOFALHA WHERE DSENDERECO = :P_ENDERECO "
        "AND DTFALHA > :P_INICIO",
        {{"P_ENDERECO", Variant(address)}, {"P_INICIO", Variant(windowStart)}}, "falhas do endereço");
    if (intOf(recent.rows.front()[0]) >= m_policy.maxAddressFailures) {
        const std::int64_t wait = intOf(recent.rows.front()[1]) + m_policy.failureWindow.count() - t;
        return refuse(
            R::AddressThrottled,
            "Tentativas demais com senha errada a partir deste endereço; tente de novo em " + waitText(wait) + ".",
            std::max<std::int64_t>(wait, 1));
    }

    const std::optional<Account> a = out.operatorCode.empty() ? std::nullopt : account(db, out.operatorCode);
    if (!a) {
        m_hash.verifyNothing(password);  // as long as a wrong password takes
        addressFailed();
        return refuse(R::BadCredentials, badCredentials);
    }
    if (a->lockedUntil > t && (a->lockAll || a->knownAddress != address)) {
        m_hash.verifyNothing(password);
        addressFailed();
        const std::int64_t wait = a->lockedUntil - t;
        return refuse(R::Locked,
                      "O operador " + a->code + " está bloqueado por senhas erradas repetidas; tente de novo em " +
                          waitText(wait) + ".",
                      wait);
    }

    if (!m_hash.verify(a->hash, password)) {
        addressFailed();
        const Variant known(std::string(a->knownAddress == address ? "S" : "N"));
        bool locked = false;
        db.transaction([&] {
            // One statement, so that attempts at the same time all count.
            db.execute(
                "UPDATE OPERSENHA SET "
                "QTFALHAS = CASE WHEN DTPRIMFALHA IS NULL OR DTPRIMFALHA <= :P_INICIO THEN 1 ELSE QTFALHAS + 1 END, "
                "IDFALHACONH = CASE WHEN DTPRIMFALHA IS NULL OR DTPRIMFALHA <= :P_INICIO THEN :P_CONH "
                "WHEN :P_CONH = 'S' THEN 'S' ELSE IDFALHACONH END, "
                "DTPRIMFALHA = CASE WHEN DTPRIMFALHA IS NULL OR DTPRIMFALHA <= :P_INICIO THEN :P_AGORA "
                "ELSE DTPRIMFALHA END "
                "WHERE CDOPERADOR = :P_CDOPERADOR",
                {{"P_INICIO", Variant(windowStart)},
                 {"P_CONH", known},
                 {"P_AGORA", Variant(t)},
                 {"P_CDOPERADOR", Variant(a->code)}},
                "senha errada");
            const long long locking = db.execute(
                "UPDATE OPERSENHA SET DTBLOQATE = :P_ATE, IDBLOQTOTAL = IDFALHACONH, QTFALHAS = 0, "
                "DTPRIMFALHA = NULL, IDFALHACONH = 'N' WHERE CDOPERADOR = :P_CDOPERADOR AND QTFALHAS >= :P_MAX",
                {{"P_ATE", Variant(t + m_policy.lockDuration.count())},
                 {"P_CDOPERADOR", Variant(a->code)},
                 {"P_MAX", Variant(m_policy.maxFailures)}},
                "bloqueio do operador");
            locked = locking > 0;
        });
        if (locked)
            return refuse(R::Locked,
                          "Senha errada " + std::to_string(m_policy.maxFailures) + " vezes: o operador " + a->code +
                              " está bloqueado; tente de novo em " + waitText(m_policy.lockDuration.count()) + ".",
                          m_policy.lockDuration.count());
        return refuse(R::BadCredentials, badCredentials);
    }

    if (a->disabled)
        return refuse(R::Disabled, "O operador " + a->code +
                                       " está bloqueado pelo administrador do sistema; procure-o para desbloquear.");
    if (a->mustChange)
        return refuse(R::PasswordExpired,
                      "A senha do operador " + a->code + " expirou; peça ao administrador do sistema uma senha nova.");

    out.token = newToken();
    out.expiresIn = m_policy.idleExpiry.count();
    const std::string rehashed = m_hash.needsRehash(a->hash) ? m_hash.hash(password) : a->hash;
    db.transaction([&] {
        // A good sign-in forgets the failures; a lock that others caused
        // stays for them.
        db.execute(
            "UPDATE OPERSENHA SET QTFALHAS = 0, DTPRIMFALHA = NULL, IDFALHACONH = 'N', "
            "DSENDERCONH = :P_ENDERECO, DSHASHSENHA = :P_HASH WHERE CDOPERADOR = :P_CDOPERADOR",
            {{"P_ENDERECO", Variant(address)}, {"P_HASH", Variant(rehashed)}, {"P_CDOPERADOR", Variant(a->code)}},
            "entrada do operador");
        db.execute(
            "DELETE FROM OPERSESSAO WHERE CDOPERADOR = :P_CDOPERADOR AND (DTULTUSO <= :P_OCIOSO OR "
            "DTINICIO <= :P_ANTIGO)",
            {{"P_CDOPERADOR", Variant(a->code)},
             {"P_OCIOSO", Variant(t - m_policy.idleExpiry.count())},
             {"P_ANTIGO", Variant(t - m_policy.absoluteExpiry.count())}},
            "sessões encerradas");
        db.execute(
            "INSERT INTO OPERSESSAO (DSHASHTOKEN, CDOPERADOR, DTINICIO, DTULTUSO, DSENDERECO) "
            "VALUES (:P_HASH, :P_CDOPERADOR, :P_AGORA, :P_AGORA, :P_ENDERECO)",
            {{"P_HASH", Variant(tokenHash(out.token))},
             {"P_CDOPERADOR", Variant(a->code)},
             {"P_AGORA", Variant(t)},
             {"P_ENDERECO", Variant(address)}},
            "nova sessão");
    });
    out.result = R::SignedIn;
    return out;
}

std::optional<Caller> AccessControl::authenticate(db::SociDatabase& db, const std::string& token,
                                                  TokenRefusal* why) const {
    if (why) *why = TokenRefusal::Unknown;
    if (token.empty() || token.size() > 256) return std::nullopt;
    const std::string hash = tokenHash(token);
    const host::DataPacket p = db.query(
        "SELECT S.CDOPERADOR, S.DTINICIO, S.DTULTUSO, P.IDBLOQUEADO FROM OPERSESSAO S "
        "LEFT JOIN OPERSENHA P ON P.CDOPERADOR = S.CDOPERADOR WHERE S.DSHASHTOKEN = :P_HASH",
        {{"P_HASH", Variant(hash)}}, "sessão");
    if (p.rows.empty()) return std::nullopt;
    const auto& r = p.rows.front();
    const std::int64_t t = now();
    const std::int64_t lastUse = intOf(r[2]);
    if (t - lastUse >= m_policy.idleExpiry.count() || t - intOf(r[1]) >= m_policy.absoluteExpiry.count() ||
        textOf(r[3]) == "S") {
        db.execute("DELETE FROM OPERSESSAO WHERE DSHASHTOKEN = :P_HASH", {{"P_HASH", Variant(hash)}},
                   "sessão encerrada");
        if (why) *why = TokenRefusal::Expired;
        return std::nullopt;
    }
    // Marked at most once a minute: a call is a read, not a write.
    if (t - lastUse >= 60)
        db.execute("UPDATE OPERSESSAO SET DTULTUSO = :P_AGORA WHERE DSHASHTOKEN = :P_HASH",
                   {{"P_AGORA", Variant(t)}, {"P_HASH", Variant(hash)}}, "uso da sessão");
    auto caller = callerOf(db, textOf(r[0]));
    if (!caller && why) *why = TokenRefusal::Expired;
    return caller;
}

bool AccessControl::signOut(db::SociDatabase& db, const std::string& token) const {
    if (token.empty()) return false;
    return db.execute("DELETE FROM OPERSESSAO WHERE DSHASHTOKEN = :P_HASH", {{"P_HASH", Variant(tokenHash(token))}},
                      "fim da sessão") > 0;
}

std::optional<Caller> AccessControl::callerOf(db::SociDatabase& db, const std::string& operatorCode) {
    const host::DataPacket op =
        db.query("SELECT NMOPERADOR, IDTODASFILI FROM OPERADOR WHERE CDOPERADOR = :P_CDOPERADOR",
                 {{"P_CDOPERADOR", Variant(operatorCode)}}, "operador");
    if (op.rows.empty()) return std::nullopt;
    Caller c;
    c.operatorCode = operatorCode;
    c.operatorName = textOf(op.rows.front()[0]);
    c.scope.all = textOf(op.rows.front()[1]) == "S";
    if (!c.scope.all) {
        const host::DataPacket branches = db.query("SELECT CDFILIAL FROM OPERFILI WHERE CDOPERADOR = :P_CDOPERADOR",
                                                   {{"P_CDOPERADOR", Variant(operatorCode)}}, "filiais do operador");
        for (const auto& row : branches.rows) c.scope.branches.insert(textOf(row[0]));
    }
    return c;
}

}  // namespace pla013::appserver
