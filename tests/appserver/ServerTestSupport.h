#pragma once
// A real catering database with the sample data, a real server on a
// loopback port over it, and a client that calls it through the transport.

#include <filesystem>

#include <memory>
#include <string>
#include <vector>
#include "TempDir.h"

#include "host/DataPacket.h"
#include "host/Ports.h"
#include "platform/appserver/AppServer.h"
#include "platform/db/SociDatabase.h"
#include "platform/net/HttpTransport.h"

namespace servertest {

using pla013::db::DbEngine;

using TempDir = pla013test::TempDir;

// The engines to run against: SQLite, PostgreSQL when PLA013_TEST_PG_URL is
// set, Firebird when PLA013_TEST_FB_URL is.
std::vector<DbEngine> testEngines();
bool hasEngine(DbEngine engine);
const char* engineName(DbEngine engine);

// The sample database of an engine, built by the initializer once per test
// run and dropped at its end. Returns its path or URL.
const std::string& sampleDatabase(DbEngine engine);

// A server over the database at location, started on a free loopback port.
std::unique_ptr<pla013::appserver::AppServer> startServer(const std::string& location,
                                                          pla013::appserver::AppServerOptions options = {});

// A plain TCP connection to the loopback port; -1 when refused.
int connectLoopback(int port);

// Quiet options for servers whose log nobody reads.
pla013::appserver::AppServerOptions quietOptions();

inline constexpr const char* kCost = "CUS00000.rdmCustProd";
inline constexpr const char* kRecipes = "PLA01303.rdmEmissaoReceitas";

pla013::host::Variant call(int port, const std::string& server, const std::string& method,
                           const std::vector<pla013::host::CallArg>& args);

pla013::host::CallArg text(const std::string& v);     // by value
pla013::host::CallArg textRef(const std::string& v);  // by reference
pla013::host::CallArg int32(int v);
pla013::host::CallArg date(int year, int month, int day);

// Each row as "v1|v2|...": texts as they are, numbers as %g, null as "~".
std::vector<std::string> rowsOf(const pla013::host::DataPacket& packet, const std::vector<std::string>& fields);
// "NAME:type:size" for every field, in order.
std::vector<std::string> fieldsOf(const pla013::host::DataPacket& packet);

}  // namespace servertest
