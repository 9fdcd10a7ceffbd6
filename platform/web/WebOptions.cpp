#include "platform/web/WebOptions.h"

#include <algorithm>
#include <stdexcept>

#include "platform/appserver/AppServerOptions.h"
#include "platform/net/HostPort.h"

namespace pla013::web {

namespace {

long long number(const std::string& option, const std::string& value, long long low, long long high) {
    std::size_t used = 0;
    long long n = 0;
    try {
        n = std::stoll(value, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != value.size() || n < low || n > high)
        throw std::invalid_argument(option + " precisa de um número de " + std::to_string(low) + " a " +
                                    std::to_string(high) + ", não '" + value + "'.");
    return n;
}

}  // namespace

WebOptions WebOptions::parse(std::vector<std::string> args) {
    WebOptions o;
    for (const auto& a : args)
        if (a == "--help" || a == "-h") {
            o.help = true;
            return o;
        }
    for (const auto& a : args)
        if (a == "--operator" || a.rfind("--operator=", 0) == 0 || a == "--single-branch" ||
            a.rfind("--single-branch=", 0) == 0)
            throw std::invalid_argument(a.substr(0, a.find('=')) +
                                        " não se aplica: o operador e as filiais vêm de quem entra pelo navegador.");
    o.context = runtime::HostOptions::parse(args);
    std::string certificate, key;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i], value;
        bool hasValue = false;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            hasValue = true;
        }
        if (name == "--plain-http") {
            o.plainHttp = true;
            continue;
        }
        static const std::vector<std::string> valued = {
            "--listen",       "--tls-cert", "--tls-key", "--max-forms",     "--forms-per-session",
            "--idle-timeout", "--files",    "--origin",  "--file-lifetime", "--driver",
            "--proxy"};
        if (std::find(valued.begin(), valued.end(), name) == valued.end())
            throw std::invalid_argument(name.rfind("--", 0) == 0 ? "opção desconhecida: " + name + "."
                                                                 : "argumento inesperado: '" + name + "'.");
        if (!hasValue) {
            if (i + 1 >= args.size()) throw std::invalid_argument(name + " precisa de um valor.");
            value = args[++i];
        }
        if (name == "--listen") {
            try {
                const net::HostPort address = net::HostPort::parse(value);
                o.listenHost = address.host;
                o.listenPort = address.port;
            } catch (const net::HostPortError& e) {
                throw std::invalid_argument(std::string("--listen: ") + e.what());
            }
        } else if (name == "--tls-cert") {
            certificate = value;
        } else if (name == "--tls-key") {
            key = value;
        } else if (name == "--max-forms") {
            o.forms.maxForms = std::size_t(number(name, value, 1, 1000));
        } else if (name == "--forms-per-session") {
            o.forms.perSession = std::size_t(number(name, value, 1, 100));
        } else if (name == "--idle-timeout") {
            o.forms.idleTimeout = std::chrono::seconds(number(name, value, 1, 24 * 60 * 60));
        } else if (name == "--file-lifetime") {
            o.fileLifetime = std::chrono::seconds(number(name, value, 1, 7 * 24 * 60 * 60));
        } else if (name == "--files") {
            o.files = value;
        } else if (name == "--driver") {
            o.driver = value;
        } else if (name == "--proxy") {
            o.proxy = value;
        } else if (name == "--origin") {
            if (value.rfind("https://", 0) != 0 && value.rfind("http://", 0) != 0)
                throw std::invalid_argument("--origin é um endereço como https://cozinha.exemplo, não '" + value +
                                            "'.");
            while (!value.empty() && value.back() == '/') value.pop_back();
            o.origins.push_back(value);
        }
    }
    if (certificate.empty() != key.empty())
        throw std::invalid_argument("--tls-cert e --tls-key andam juntos: dê o certificado e a sua chave.");
    if (!certificate.empty()) o.tls = internal::TlsFiles{certificate, key};
    if (o.tls && o.plainHttp) throw std::invalid_argument("--plain-http não combina com --tls-cert e --tls-key.");
    if (!o.tls && !o.plainHttp && !net::isLoopbackHost(o.listenHost))
        throw std::invalid_argument("sem TLS, pla013-web só escuta em loopback: dê --tls-cert e --tls-key para " +
                                    o.listenHost + ", ou --plain-http se um proxy à frente cuida do TLS.");
    return o;
}

bool WebOptions::secureCookies() const { return tls || plainHttp || !net::isLoopbackHost(listenHost); }

std::string WebOptions::usage() {
    return "Uso: pla013-web [opções]\n"
           "\n"
           "Serve o formulário de relatórios de pratos a navegadores (docs/web.md).\n"
           "\n"
           "  --listen HOST:PORT        onde escuta (padrão 127.0.0.1:8014)\n"
           "  --tls-cert FILE --tls-key FILE\n"
           "                            HTTPS com este certificado (PEM) e sua chave\n"
           "  --plain-http              HTTP sem TLS fora de loopback (um proxy à frente cuida do TLS)\n"
           "  --server HOST:PORT[,HOST:PORT...]\n"
           "                            servidores de aplicação (padrão: um embutido, em loopback)\n"
           "  --db PATH|URL             banco de dados (padrão: o banco de exemplo)\n"
           "  --branch CODE             filial do escritório, para operadores de todas as filiais (padrão 0001)\n"
           "  --module CHAR --date YYYY-MM-DD --reports DIR --log-level quiet|info|debug\n"
           "                            como em pla013\n"
           "  --max-forms N             formulários abertos ao mesmo tempo (padrão 32)\n"
           "  --forms-per-session N     por sessão (padrão 8)\n"
           "  --idle-timeout SECONDS    fecha um formulário sem uso (padrão 1800)\n"
           "  --file-lifetime SECONDS   apaga um relatório gravado (padrão 3600)\n"
           "  --files DIR               pasta dos relatórios gravados (padrão: uma pasta temporária nova)\n"
           "  --origin URL              outra origem aceita (um proxy que reescreve Host); repetível\n"
           "  --proxy ADDRESS           o proxy à frente: o cliente é o último de X-Forwarded-For\n"
           "  --driver PATH             o pla013 que roda cada formulário (padrão: o que está ao lado)\n";
}

}  // namespace pla013::web
