#include "ServerTestSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>

#include "host/Variant.h"
#include "platform/db/DatabaseInitializer.h"
#include "platform/db/internal/Firebird.h"

namespace fs = std::filesystem;

namespace servertest {

namespace {

std::string postgresUrl() {
    const char* url = std::getenv("PLA013_TEST_PG_URL");
    return url ? url : "";
}

std::string firebirdUrl() {
    const char* url = std::getenv("PLA013_TEST_FB_URL");
    return url ? url : "";
}

// Sample databases live as long as the test program.
struct Samples {
    TempDir dir;
    std::map<DbEngine, std::string> locations;
    std::string schema;
    std::string firebird;

    ~Samples() {
        if (!firebird.empty()) {
            try {
                pla013::db::internal::dropFirebirdDatabase(pla013::db::internal::parseFirebirdUrl(firebird));
            } catch (...) {
                // A database left behind only costs space in the test folder.
            }
        }
        if (schema.empty()) return;
        try {
            pla013::db::SociDatabase admin(postgresUrl());
            admin.execute("DROP SCHEMA IF EXISTS " + schema + " CASCADE");
        } catch (...) {
            // A schema left behind only costs space on the test server.
        }
    }
};

Samples& samples() {
    static Samples s;
    return s;
}

}  // namespace

std::vector<DbEngine> testEngines() {
    std::vector<DbEngine> engines = {DbEngine::SQLite};
    if (!postgresUrl().empty()) engines.push_back(DbEngine::PostgreSQL);
    if (!firebirdUrl().empty()) engines.push_back(DbEngine::Firebird);
    return engines;
}

bool hasEngine(DbEngine engine) {
    const std::vector<DbEngine> engines = testEngines();
    return std::find(engines.begin(), engines.end(), engine) != engines.end();
}

const char* engineName(DbEngine engine) {
    switch (engine) {
        case DbEngine::SQLite: return "SQLite";
        case DbEngine::PostgreSQL: return "PostgreSQL";
        case DbEngine::Firebird: return "Firebird";
    }
    return "?";
}

const std::string& sampleDatabase(DbEngine engine) {
    Samples& s = samples();
    auto it = s.locations.find(engine);
    if (it != s.locations.end()) return it->second;
    std::string location;
    if (engine == DbEngine::SQLite) {
        location = s.dir.file("catering.sqlite");
    } else if (engine == DbEngine::Firebird) {
        const std::string url = firebirdUrl();
        location = url.substr(0, url.rfind('/') + 1) + "pla013_appserver_test_" + std::to_string(::getpid()) + ".fdb";
        s.firebird = location;
    } else {
        const std::string url = postgresUrl();
        s.schema = "pla013_appserver_test_" + std::to_string(::getpid());
        pla013::db::SociDatabase admin(url);
        admin.execute("DROP SCHEMA IF EXISTS " + s.schema + " CASCADE");
        admin.execute("CREATE SCHEMA " + s.schema);
        location = url + (url.find('?') == std::string::npos ? "?" : "&") + "options=-csearch_path%3D" + s.schema;
    }
    pla013::db::initializeDatabase(location, true);
    return s.locations.emplace(engine, location).first->second;
}

pla013::appserver::AppServerOptions quietOptions() {
    pla013::appserver::AppServerOptions o;
    o.logLevel = pla013::appserver::LogLevel::Quiet;
    return o;
}

std::unique_ptr<pla013::appserver::AppServer> startServer(const std::string& location,
                                                          pla013::appserver::AppServerOptions options) {
    auto server = std::make_unique<pla013::appserver::AppServer>(
        [location] { return std::make_unique<pla013::db::SociDatabase>(location); }, std::move(options));
    server->start();
    return server;
}

pla013::host::Variant call(int port, const std::string& server, const std::string& method,
                           const std::vector<pla013::host::CallArg>& args) {
    pla013::net::HttpTransport transport;
    return transport.Call("127.0.0.1", port, server, method, args);
}

pla013::host::CallArg text(const std::string& v) {
    return {pla013::host::CallArg::Kind::TextByValue, pla013::host::Variant(v)};
}
pla013::host::CallArg textRef(const std::string& v) {
    return {pla013::host::CallArg::Kind::TextByRef, pla013::host::Variant(v)};
}
pla013::host::CallArg int32(int v) { return {pla013::host::CallArg::Kind::Int32, pla013::host::Variant(v)}; }
pla013::host::CallArg date(int year, int month, int day) {
    return {pla013::host::CallArg::Kind::Date, pla013::host::Variant::date(pla013::host::EncodeDate(year, month, day))};
}

std::vector<std::string> rowsOf(const pla013::host::DataPacket& packet, const std::vector<std::string>& fields) {
    std::vector<int> index;
    for (const auto& f : fields) {
        index.push_back(packet.fieldIndex(f));
        if (index.back() < 0) throw std::runtime_error("packet has no field " + f);
    }
    std::vector<std::string> out;
    for (const auto& row : packet.rows) {
        std::string line;
        for (std::size_t i = 0; i < index.size(); ++i) {
            const pla013::host::Variant& v = row[std::size_t(index[i])];
            if (i) line += "|";
            if (v.isNull()) {
                line += "~";
            } else if (v.kind() == pla013::host::Variant::Kind::Float ||
                       v.kind() == pla013::host::Variant::Kind::Integer) {
                char buf[64];
                std::snprintf(buf, sizeof buf, "%g", v.toDouble());
                line += buf;
            } else {
                line += v.toString();
            }
        }
        out.push_back(line);
    }
    return out;
}

std::vector<std::string> fieldsOf(const pla013::host::DataPacket& packet) {
    std::vector<std::string> out;
    for (const auto& f : packet.fields)
        out.push_back(f.name + ":" + pla013::host::FieldTypeName(f.type) + ":" + std::to_string(f.size));
    return out;
}

int connectLoopback(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(std::uint16_t(port));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace servertest
