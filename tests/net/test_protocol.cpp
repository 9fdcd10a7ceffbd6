// Call requests and answers: what the client writes the server reads back
// with the same kinds, and malformed messages are refused with their code.

#include <gtest/gtest.h>

#include "host/Errors.h"
#include "host/Variant.h"
#include "platform/net/Protocol.h"
#include "platform/net/ProtocolError.h"

namespace net = pla013::net;

using pla013::host::CallArg;
using pla013::host::Variant;
using Kind = pla013::host::CallArg::Kind;

TEST(Protocol, CallRequestRoundTripKeepsOrderAndKinds) {
    const std::vector<CallArg> args = {
        {Kind::TextByValue, Variant("0001")}, {Kind::TextByRef, Variant("Prato d'Ávila")},
        {Kind::TextByRef, Variant::null()},   {Kind::Int32, Variant(-2147483647 - 1)},
        {Kind::Int32, Variant(2147483647)},   {Kind::Date, Variant::date(pla013::host::EncodeDate(2024, 5, 17))},
    };
    const auto request = net::decodeCallRequest(net::encodeCallRequest("PLA01303.rdmEmissaoReceitas", "GetX", args));
    EXPECT_EQ(request.version, net::kProtocolVersion);
    EXPECT_EQ(request.server, "PLA01303.rdmEmissaoReceitas");
    EXPECT_EQ(request.method, "GetX");
    ASSERT_EQ(request.args.size(), args.size());
    const Variant expected[] = {Variant("0001"),     Variant("Prato d'Ávila"),
                                Variant(""),         Variant(-2147483647 - 1),
                                Variant(2147483647), Variant::date(pla013::host::EncodeDate(2024, 5, 17))};
    for (std::size_t i = 0; i < args.size(); ++i) {
        EXPECT_EQ(request.args[i].kind, args[i].kind) << i;
        EXPECT_TRUE(request.args[i].value == expected[i]) << i;
    }
}

TEST(Protocol, EncodeRefusesArgumentsThatDoNotFitTheirKind) {
    const std::pair<const char*, CallArg> cases[] = {
        {"int32 overflow", {Kind::Int32, Variant(std::int64_t(1) << 31)}},
        {"int32 from text", {Kind::Int32, Variant("abc")}},
        {"date from text", {Kind::Date, Variant("amanhã")}},
    };
    for (const auto& [name, arg] : cases) {
        try {
            net::encodeCallRequest("S", "M", {arg});
            ADD_FAILURE() << name << ": accepted";
        } catch (const net::ProtocolError& e) {
            EXPECT_EQ(e.code(), net::errc::BadArguments) << name;
            EXPECT_NE(std::string(e.what()).find("argumento 1"), std::string::npos) << name << ": " << e.what();
        }
    }
}

TEST(Protocol, DecodeRequestRefusesMalformedBodiesWithTheirCode) {
    const struct {
        const char* name;
        const char* body;
        const char* code;
    } cases[] = {
        {"not JSON", "{\"version\":1,", net::errc::BadJson},
        {"empty body", "", net::errc::BadJson},
        {"array body", "[]", net::errc::BadRequest},
        {"no version", R"({"server":"S","method":"M","args":[]})", net::errc::BadRequest},
        {"future version", R"({"version":2,"server":"S","method":"M","args":[]})", net::errc::UnsupportedVersion},
        {"no server", R"({"version":1,"method":"M","args":[]})", net::errc::BadRequest},
        {"method not text", R"({"version":1,"server":"S","method":7,"args":[]})", net::errc::BadRequest},
        {"args not array", R"({"version":1,"server":"S","method":"M","args":{}})", net::errc::BadRequest},
        {"bare argument", R"({"version":1,"server":"S","method":"M","args":["0001"]})", net::errc::BadRequest},
        {"unknown kind", R"({"version":1,"server":"S","method":"M","args":[{"kind":"blob","value":1}]})",
         net::errc::BadArguments},
        {"int32 as text", R"({"version":1,"server":"S","method":"M","args":[{"kind":"int32","value":"1"}]})",
         net::errc::BadArguments},
        {"int32 too big", R"({"version":1,"server":"S","method":"M","args":[{"kind":"int32","value":2147483648}]})",
         net::errc::BadArguments},
        {"int32 fraction", R"({"version":1,"server":"S","method":"M","args":[{"kind":"int32","value":1.5}]})",
         net::errc::BadArguments},
        {"text as null", R"({"version":1,"server":"S","method":"M","args":[{"kind":"text","value":null}]})",
         net::errc::BadArguments},
        {"date as text", R"({"version":1,"server":"S","method":"M","args":[{"kind":"date","value":"2024-01-01"}]})",
         net::errc::BadArguments},
        {"missing value", R"({"version":1,"server":"S","method":"M","args":[{"kind":"date"}]})",
         net::errc::BadArguments},
    };
    for (const auto& c : cases) {
        try {
            net::decodeCallRequest(c.body);
            ADD_FAILURE() << c.name << ": accepted";
        } catch (const net::ProtocolError& e) {
            EXPECT_EQ(e.code(), c.code) << c.name << ": " << e.what();
        }
    }
}

TEST(Protocol, ResultAndErrorAnswers) {
    const Variant result(std::vector<Variant>{Variant(0), Variant(""), Variant::null()});
    EXPECT_TRUE(net::decodeCallResponse(net::encodeCallResult(result)) == result);

    const std::string error = net::encodeError(net::errc::UnknownMethod, "Método 'X' desconhecido.");
    const auto remote = net::decodeError(error);
    ASSERT_TRUE(remote.has_value());
    EXPECT_EQ(remote->code, net::errc::UnknownMethod);
    EXPECT_EQ(remote->message, "Método 'X' desconhecido.");
    try {
        net::decodeCallResponse(error);
        FAIL() << "an error answer was read as a result";
    } catch (const net::ProtocolError& e) {
        EXPECT_EQ(e.code(), net::errc::UnknownMethod);
    }
}

TEST(Protocol, ErrorAnswerIsWrittenEvenForInvalidText) {
    const auto remote = net::decodeError(net::encodeError("server_error", std::string("falha em caf\xe9")));
    ASSERT_TRUE(remote.has_value());
    EXPECT_EQ(remote->code, "server_error");
}

TEST(Protocol, AnswersThatAreNotOursAreRefused) {
    const char* cases[] = {
        "<html>Bad gateway</html>",     R"({"version":1})", R"({"version":9,"result":{"kind":"null"}})",
        R"({"version":1,"result":42})", R"("ok")",
    };
    for (const char* body : cases) EXPECT_THROW(net::decodeCallResponse(body), net::ProtocolError) << body;
    EXPECT_FALSE(net::decodeError("<html/>").has_value());
    EXPECT_FALSE(net::decodeError(R"({"error":"x"})").has_value());
}

// One pass reads the whole answer: an error answer, then the version, then
// the result decide, whatever the order of the members and whatever is wrong
// inside the result.
TEST(Protocol, AnswerPrecedenceInOnePass) {
    const std::string badPacket =
        R"({"kind":"packet","value":{"fields":[{"name":"N","type":"integer","size":0}],"rows":[[1],["x"]]}})";
    const struct {
        std::string body;
        const char* code;
        const char* words;
    } cases[] = {
        {R"({"result":)" + badPacket + R"(,"error":{"code":"database_error","message":"Falhou."},"version":1})",
         net::errc::DatabaseError, "Falhou."},
        {R"({"result":)" + badPacket + R"(,"version":9})", net::errc::UnsupportedVersion, "versão"},
        {R"({"version":1,"result":)" + badPacket + "}", net::errc::BadRequest, "linha 2, campo N"},
        {R"({"version":1,"result":)" + badPacket + R"(,"x":[})", net::errc::BadJson, "não é JSON válido"},
        {R"({"version":1,"error":"x","result":{"kind":"null"}})", "", ""},
    };
    for (const auto& c : cases) {
        try {
            const Variant v = net::decodeCallResponse(c.body);
            EXPECT_STREQ(c.code, "") << c.body;
            EXPECT_TRUE(v.isNull()) << c.body;
        } catch (const net::ProtocolError& e) {
            EXPECT_EQ(e.code(), c.code) << c.body;
            EXPECT_NE(std::string(e.what()).find(c.words), std::string::npos) << e.what();
        }
    }
    // Reading only the error skips the result, even a broken one.
    const auto remote = net::decodeError(R"({"result":)" + badPacket +
                                         R"(,"error":{"code":"server_error","message":"M"},"version":1})");
    ASSERT_TRUE(remote.has_value());
    EXPECT_EQ(remote->code, "server_error");
}
