#include "platform/runtime/AccessCommands.h"

#include <fcntl.h>
#include <pwd.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <istream>
#include <memory>
#include <ostream>
#include <stdexcept>

#include "host/Errors.h"
#include "platform/appserver/AuditLog.h"
#include "platform/appserver/OperatorAccounts.h"
#include "platform/db/DatabaseInitializer.h"

namespace pla013::runtime {

namespace {

// Midnight of a local date "YYYY-MM-DD" as Unix time.
std::int64_t localMidnight(const std::string& option, const std::string& text) {
    struct tm t {};
    int y = 0, m = 0, d = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) != 3 || text.size() != 10 || m < 1 || m > 12 ||
        d < 1 || d > 31)
        throw std::invalid_argument(option + " precisa de uma data AAAA-MM-DD, não '" + text + "'.");
    t.tm_year = y - 1900;
    t.tm_mon = m - 1;
    t.tm_mday = d;
    t.tm_isdst = -1;
    return std::int64_t(mktime(&t));
}

std::string localTime(std::int64_t seconds) {
    const time_t t = time_t(seconds);
    struct tm local {};
    localtime_r(&t, &local);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
    return buf;
}

std::string orDash(const std::string& s) { return s.empty() ? "-" : s; }

std::string readPassword(const std::string& code, bool fromStdin, bool confirm, std::istream& in) {
    if (fromStdin) {
        std::string line;
        if (!std::getline(in, line)) throw host::EHostError("Nenhuma senha na entrada padrão.");
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
    }
    const auto first = readSecretFromTerminal("Senha nova do operador " + code + ": ");
    if (!first) throw host::EHostError("Sem terminal para pedir a senha; use --password-stdin.");
    if (confirm) {
        const auto again = readSecretFromTerminal("Repita a senha: ");
        if (!again || *again != *first) throw host::EHostError("As duas senhas digitadas não são iguais.");
    }
    return *first;
}

}  // namespace

std::optional<std::string> readSecretFromTerminal(const std::string& prompt) {
    const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct termios saved {};
    const bool isTerminal = tcgetattr(fd, &saved) == 0;
    if (!isTerminal) {
        ::close(fd);
        return std::nullopt;
    }
    struct termios quiet = saved;
    quiet.c_lflag &= ~tcflag_t(ECHO);
    quiet.c_lflag |= ECHONL;
    (void)!::write(fd, prompt.data(), prompt.size());
    tcsetattr(fd, TCSAFLUSH, &quiet);
    std::string secret;
    char c = 0;
    bool ended = false;
    while (::read(fd, &c, 1) == 1) {
        if (c == '\n' || c == '\r') {
            ended = true;
            break;
        }
        secret += c;
    }
    tcsetattr(fd, TCSAFLUSH, &saved);
    ::close(fd);
    if (!ended && secret.empty()) return std::nullopt;
    return secret;
}

std::function<std::optional<std::pair<std::string, std::string>>(const std::string&, const std::string&)>
terminalCredentials(std::ostream& err) {
    auto tries = std::make_shared<int>(0);
    return [&err, tries](const std::string& code,
                         const std::string& refusal) -> std::optional<std::pair<std::string, std::string>> {
        // Without a terminal the refusal is the command's error, said once.
        if (++*tries > 3 || !isatty(STDIN_FILENO) && !isatty(STDERR_FILENO)) return std::nullopt;
        if (!refusal.empty()) err << refusal << '\n';
        const auto password = readSecretFromTerminal("Senha do operador " + code + ": ");
        if (!password) return std::nullopt;
        return std::pair{code, *password};
    };
}

int operatorCommand(const HostOptions& options, const std::vector<std::string>& args, std::istream& in,
                    std::ostream& out, std::ostream& err) {
    static const char* kUsage =
        "usage: pla013 operator add CODE [--password-stdin]\n"
        "       pla013 operator passwd CODE [--password-stdin] [--expire]\n"
        "       pla013 operator lock CODE | unlock CODE | list\n";
    const std::string verb = args.size() >= 2 ? args[1] : "";
    bool fromStdin = false, expire = false;
    std::string code;
    for (std::size_t i = 2; i < args.size(); ++i) {
        if (args[i] == "--password-stdin" && (verb == "add" || verb == "passwd"))
            fromStdin = true;
        else if (args[i] == "--expire" && verb == "passwd")
            expire = true;
        else if (args[i].rfind("--", 0) != 0 && code.empty())
            code = args[i];
        else {
            err << "error: argumento inesperado '" << args[i] << "'\n" << kUsage;
            return 2;
        }
    }
    const bool needsCode = verb == "add" || verb == "passwd" || verb == "lock" || verb == "unlock";
    if ((!needsCode && verb != "list") || needsCode == code.empty()) {
        err << kUsage;
        return 2;
    }

    auto db = pla013::db::openDatabase(options.db);
    appserver::OperatorAccounts accounts(*db);
    const std::int64_t now = appserver::AuditLog::systemNow();
    // Done at the database's side, not through a session: the record names
    // the system account that did it.
    const char* user = std::getenv("USER");
    if (!user || !*user) {
        const struct passwd* entry = getpwuid(geteuid());
        user = entry ? entry->pw_name : nullptr;
    }
    auto note = [&](const std::string& what) {
        appserver::AuditLog::write(
            *db, {{now, "administracao", "", "", what + " (conta do sistema " + (user ? user : "?") + ")"}});
    };
    if (verb == "list") {
        out << "operador\tnome\tfiliais\tsituacao\tsenha alterada\tsessoes\n";
        for (const auto& a : accounts.list()) {
            std::string branches = a.allBranches ? "todas" : "";
            for (const auto& b : a.branches) branches += (branches.empty() ? "" : ",") + b;
            std::string state = !a.hasPassword        ? "sem senha"
                                : a.disabled          ? "bloqueado pelo administrador"
                                : a.lockedUntil > now ? "bloqueado até " + localTime(a.lockedUntil)
                                : a.mustChange        ? "senha expirada"
                                                      : "ativo";
            out << a.code << '\t' << a.name << '\t' << orDash(branches) << '\t' << state << '\t'
                << (a.hasPassword ? localTime(a.changedAt) : "-") << '\t' << a.sessions << '\n';
        }
        return 0;
    }
    if (verb == "lock") {
        accounts.lock(code);
        note("bloqueio do operador " + code);
        out << "Operador " << code << " bloqueado; as sessões dele foram encerradas.\n";
        return 0;
    }
    if (verb == "unlock") {
        accounts.unlock(code);
        note("desbloqueio do operador " + code);
        out << "Operador " << code << " desbloqueado.\n";
        return 0;
    }
    const std::string password = readPassword(code, fromStdin, true, in);
    if (verb == "add") {
        accounts.add(code, password, now);
        note("senha inicial do operador " + code);
        out << "Senha do operador " << code << " gravada.\n";
    } else {
        accounts.setPassword(code, password, now, expire);
        note("troca de senha do operador " + code);
        out << "Senha do operador " << code << " trocada" << (expire ? " (vale só até o administrador trocá-la)" : "")
            << "; as sessões dele foram encerradas.\n";
    }
    return 0;
}

int auditCommand(const HostOptions& options, const std::vector<std::string>& args, std::ostream& out,
                 std::ostream& err) {
    std::int64_t since = 0;
    std::optional<std::string> who;
    std::optional<std::int64_t> pruneBefore;
    std::string pruneText;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if ((a == "--since" || a == "--operator" || a == "--prune-before") && i + 1 < args.size()) {
            const std::string& v = args[++i];
            if (a == "--since") since = localMidnight(a, v);
            if (a == "--operator") who = v;
            if (a == "--prune-before") pruneBefore = localMidnight(a, v), pruneText = v;
        } else {
            err << "usage: pla013 audit [--since YYYY-MM-DD] [--operator CODE] [--prune-before YYYY-MM-DD]\n";
            return 2;
        }
    }
    auto db = pla013::db::openDatabase(options.db);
    if (pruneBefore) {
        const long long removed = appserver::AuditLog::prune(*db, *pruneBefore);
        out << "Removidos " << removed << " registros de auditoria anteriores a " << pruneText << ".\n";
        return 0;
    }
    for (const auto& e : appserver::AuditLog::read(*db, since, who))
        out << localTime(e.time) << '\t' << e.event << '\t' << orDash(e.operatorCode) << '\t' << orDash(e.address)
            << '\t' << orDash(e.detail) << '\n';
    return 0;
}

}  // namespace pla013::runtime
