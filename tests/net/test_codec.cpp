// Data packets and variants survive the trip through their JSON form, and
// what cannot travel is refused with a message instead of being bent.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <sstream>

#include "host/ClientDataSet.h"
#include "host/CompactPacket.h"
#include "host/DataPacket.h"
#include "host/Errors.h"
#include "host/Variant.h"
#include "platform/net/PacketCodec.h"
#include "platform/net/Protocol.h"
#include "platform/net/ProtocolError.h"
#include "platform/net/ResultEncoder.h"
#include "platform/net/VariantCodec.h"
#include "platform/net/internal/JsonText.h"
#include "platform/net/internal/StreamDecoder.h"

namespace net = pla013::net;

using pla013::host::DataPacket;
using pla013::host::FieldType;
using pla013::host::Variant;

namespace {

DataPacket recipeLines() {
    DataPacket p;
    p.fields = {{"CDPRATOP", FieldType::String, 10, true},
                {"NMPRODUTOP", FieldType::String, 50},
                {"NRSEQU", FieldType::Integer, 0},
                {"QTBRUTPRODP", FieldType::Float, 0},
                {"DTVALIDADE", FieldType::Date, 0}};
    p.rows = {
        {Variant("0101"), Variant("Feijão carioca"), Variant(1), Variant(0.125),
         Variant::date(pla013::host::EncodeDate(2024, 3, 1))},
        {Variant("0102"), Variant("Pão d'água \"francês\""), Variant(-7), Variant(1e-9), Variant::date(45000.75)},
        {Variant("0103"), Variant::null(), Variant::null(), Variant::null(), Variant::null()},
        {Variant(""), Variant("ação, coração; maçã\\\n\ttab"), Variant(std::int64_t(1) << 40), Variant(2.0),
         Variant::date(0.0)},
    };
    return p;
}

void expectSamePacket(const DataPacket& a, const DataPacket& b) {
    ASSERT_EQ(a.fields.size(), b.fields.size());
    for (std::size_t i = 0; i < a.fields.size(); ++i) {
        EXPECT_EQ(a.fields[i].name, b.fields[i].name);
        EXPECT_EQ(a.fields[i].type, b.fields[i].type);
        EXPECT_EQ(a.fields[i].size, b.fields[i].size);
        EXPECT_EQ(a.fields[i].required, b.fields[i].required);
    }
    ASSERT_EQ(a.rows.size(), b.rows.size());
    for (std::size_t r = 0; r < a.rows.size(); ++r)
        for (std::size_t c = 0; c < a.fields.size(); ++c) {
            EXPECT_EQ(a.rows[r][c].kind(), b.rows[r][c].kind()) << "row " << r << " col " << c;
            EXPECT_TRUE(a.rows[r][c] == b.rows[r][c]) << "row " << r << " col " << c;
        }
}

}  // namespace

TEST(PacketCodec, RoundTripKeepsNullsDatesAccentsAndQuotes) {
    const DataPacket original = recipeLines();
    const std::string text = net::encodePacket(original);
    expectSamePacket(original, net::decodePacket(text));
    // Accents travel as UTF-8, not as escapes that another client must undo.
    EXPECT_NE(text.find("Feijão"), std::string::npos);
}

TEST(PacketCodec, EmptyPacketKeepsItsFields) {
    DataPacket p;
    p.fields = {{"NRTIPOCUST", FieldType::Integer, 0}, {"NMTIPOCUST", FieldType::String, 40}};
    const DataPacket back = net::decodePacket(net::encodePacket(p));
    EXPECT_TRUE(back.rows.empty());
    expectSamePacket(p, back);
}

TEST(PacketCodec, WireFormIsDocumentedShape) {
    DataPacket p;
    p.fields = {{"CDPRATO", FieldType::String, 10}, {"VRCUSTO", FieldType::Float, 0}, {"DT", FieldType::Date, 0}};
    p.rows = {{Variant("01"), Variant::null(), Variant::date(2.5)}};
    const auto j = net::packetToJson(p);
    EXPECT_EQ(j.dump(),
              R"({"fields":[{"name":"CDPRATO","size":10,"type":"string"},{"name":"VRCUSTO","size":0,"type":"float"},)"
              R"({"name":"DT","size":0,"type":"date"}],"rows":[["01",null,2.5]]})");
}

TEST(PacketCodec, FloatFieldTakesIntegersAndIntegerTextStaysText) {
    DataPacket p;
    p.fields = {{"QT", FieldType::Float, 0}, {"CD", FieldType::String, 10}};
    p.rows = {{Variant(3), Variant("007")}};
    const DataPacket back = net::decodePacket(net::encodePacket(p));
    EXPECT_EQ(back.rows[0][0].kind(), Variant::Kind::Float);
    EXPECT_DOUBLE_EQ(back.rows[0][0].toDouble(), 3.0);
    EXPECT_EQ(back.rows[0][1].kind(), Variant::Kind::Text);
    EXPECT_EQ(back.rows[0][1].toString(), "007");
}

TEST(PacketCodec, RefusesWhatCannotTravel) {
    struct Case {
        const char* name;
        DataPacket packet;
    };
    auto one = [](FieldType t, Variant v) {
        DataPacket p;
        p.fields = {{"F", t, 10}};
        p.rows = {{std::move(v)}};
        return p;
    };
    DataPacket shortRow;
    shortRow.fields = {{"A", FieldType::String, 1}, {"B", FieldType::String, 1}};
    shortRow.rows = {{Variant("x")}};
    const Case cases[] = {
        {"row shorter than fields", shortRow},
        {"text in integer field", one(FieldType::Integer, Variant("12"))},
        {"float in integer field", one(FieldType::Integer, Variant(1.5))},
        {"number in string field", one(FieldType::String, Variant(12))},
        {"NaN in float field", one(FieldType::Float, Variant(std::nan("")))},
        {"infinity in date field", one(FieldType::Date, Variant::date(std::numeric_limits<double>::infinity()))},
        {"invalid UTF-8 text", one(FieldType::String, Variant(std::string("caf\xe9")))},
    };
    for (const auto& c : cases) {
        EXPECT_THROW(net::encodePacket(c.packet), net::ProtocolError) << c.name;
    }
}

TEST(PacketCodec, DecodeRefusesMalformedPackets) {
    const std::pair<const char*, const char*> cases[] = {
        {"not JSON", R"({"fields":[)"},
        {"not an object", R"([1,2])"},
        {"no rows", R"({"fields":[]})"},
        {"unknown type", R"({"fields":[{"name":"A","type":"blob","size":0}],"rows":[]})"},
        {"nameless field", R"({"fields":[{"type":"string","size":1}],"rows":[]})"},
        {"negative size", R"({"fields":[{"name":"A","type":"string","size":-1}],"rows":[]})"},
        {"row too long", R"({"fields":[{"name":"A","type":"string","size":1}],"rows":[["a","b"]]})"},
        {"row not array", R"({"fields":[{"name":"A","type":"string","size":1}],"rows":[{"A":"a"}]})"},
        {"text in integer", R"({"fields":[{"name":"A","type":"integer","size":0}],"rows":[["1"]]})"},
        {"float in integer", R"({"fields":[{"name":"A","type":"integer","size":0}],"rows":[[1.5]]})"},
        {"bool in float", R"({"fields":[{"name":"A","type":"float","size":0}],"rows":[[true]]})"},
        {"text date", R"({"fields":[{"name":"A","type":"date","size":0}],"rows":[["2024-01-01"]]})"},
        {"integer too large", R"({"fields":[{"name":"A","type":"integer","size":0}],"rows":[[18446744073709551615]]})"},
    };
    for (const auto& [name, text] : cases) {
        try {
            net::decodePacket(text);
            ADD_FAILURE() << name << ": accepted";
        } catch (const net::ProtocolError& e) {
            EXPECT_FALSE(std::string(e.what()).empty()) << name;
        }
    }
}

TEST(PacketCodec, DecodeErrorNamesRowAndField) {
    try {
        net::decodePacket(
            R"({"fields":[{"name":"A","type":"string","size":1},{"name":"QTBRUT","type":"float","size":0}],)"
            R"("rows":[["a",1],["b","x"]]})");
        FAIL() << "accepted";
    } catch (const net::ProtocolError& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("linha 2"), std::string::npos) << what;
        EXPECT_NE(what.find("QTBRUT"), std::string::npos) << what;
    }
}

TEST(VariantCodec, RoundTripEveryKind) {
    auto packet = std::make_shared<DataPacket>(recipeLines());
    const Variant cases[] = {
        Variant::null(),
        Variant(0),
        Variant(std::numeric_limits<std::int64_t>::min()),
        Variant(-0.5),
        Variant(""),
        Variant("Emissão das Receitas \"PLA013\" 'x'"),
        Variant::date(pla013::host::EncodeDate(1899, 12, 30)),
        Variant::date(pla013::host::EncodeDate(2024, 2, 29) + 0.5),
        Variant(std::vector<Variant>{}),
        Variant(std::vector<Variant>{Variant(0), Variant(""), Variant(packet)}),
        Variant(std::vector<Variant>{Variant(std::vector<Variant>{Variant::null()}), Variant(1.25)}),
        Variant(packet),
    };
    for (const auto& v : cases) {
        const Variant back = net::decodeVariant(net::encodeVariant(v));
        EXPECT_EQ(back.kind(), v.kind()) << net::encodeVariant(v);
        EXPECT_TRUE(back == v) << net::encodeVariant(v);
    }
    // Packets inside arrays come back with their content, not only their kind.
    const Variant server = net::decodeVariant(net::encodeVariant(cases[9]));
    ASSERT_EQ(server.array().size(), 3u);
    expectSamePacket(*packet, *server.at(2).packet());
    EXPECT_EQ(server.at(1).toString(), "");
}

TEST(VariantCodec, UnassignedTravelsAsNull) { EXPECT_TRUE(net::decodeVariant(net::encodeVariant(Variant())).isNull()); }

TEST(VariantCodec, DecodeRefusesMalformedValues) {
    const std::pair<const char*, const char*> cases[] = {
        {"bare number", "5"},
        {"no kind", R"({"value":5})"},
        {"unknown kind", R"({"kind":"currency","value":5})"},
        {"integer as text", R"({"kind":"integer","value":"5"})"},
        {"integer as float", R"({"kind":"integer","value":5.5})"},
        {"text as number", R"({"kind":"text","value":5})"},
        {"date as text", R"({"kind":"date","value":"2024-01-01"})"},
        {"missing value", R"({"kind":"text"})"},
        {"array of bare values", R"({"kind":"array","value":[1,2]})"},
        {"bad packet", R"({"kind":"packet","value":{"fields":[]}})"},
        {"truncated", R"({"kind":"text","value":"abc)"},
    };
    for (const auto& [name, text] : cases) {
        EXPECT_THROW(net::decodeVariant(text), net::ProtocolError) << name;
    }
}

TEST(VariantCodec, DeepNestingIsRefusedNotRecursedIntoForever) {
    std::string text;
    for (int i = 0; i < 5000; ++i) text += R"({"kind":"array","value":[)";
    text += R"({"kind":"null"})";
    for (int i = 0; i < 5000; ++i) text += "]}";
    EXPECT_THROW(net::decodeVariant(text), net::ProtocolError);
}

// The decoders read the text as a stream; whatever does not come in the
// order our encoder writes goes through the tree decoders. Either way a text
// must read, or be refused with the same code and words, as the tree
// decoders read the parsed text.
TEST(StreamDecoder, ReadsAndRefusesAsTheTreeDecoders) {
    const std::string fieldsAB =
        R"("fields":[{"name":"A","type":"string","size":1},{"name":"QT","type":"float","size":0}])";
    std::string deep;
    for (int i = 0; i < 40; ++i) deep += R"({"kind":"array","value":[)";
    deep += R"({"kind":"null"})";
    for (int i = 0; i < 40; ++i) deep += "]}";
    const std::string variants[] = {
        net::encodeVariant(
            Variant(std::vector<Variant>{Variant(1), Variant(std::make_shared<DataPacket>(recipeLines()))})),
        // Members in another order, and members nobody asked for.
        R"({"value":[{"value":2.5,"kind":"float"},{"value":{"rows":[["a",1]],)" + fieldsAB +
            R"(},"kind":"packet"}],"kind":"array"})",
        R"({"kind":"packet","x":[1,{"y":[]}],"value":{)" + fieldsAB + R"(,"z":null,"rows":[["a",null]]}})",
        R"({"kind":"null","value":[1,2]})",
        // Refusals inside a streamed packet.
        R"({"kind":"packet","value":{)" + fieldsAB + R"(,"rows":[["a",1],["b",1,2]]}})",
        R"({"kind":"packet","value":{)" + fieldsAB + R"(,"rows":[["a"]]}})",
        R"({"kind":"packet","value":{)" + fieldsAB + R"(,"rows":[["a",1],{"A":"b"}]}})",
        R"({"kind":"packet","value":{)" + fieldsAB + R"(,"rows":[["a",[1]]]}})",
        R"({"kind":"packet","value":{)" + fieldsAB + R"(,"rows":[[[1],"x","y"]]}})",
        R"({"kind":"packet","value":{)" + fieldsAB + R"(,"rows":[["a",1],["b","x"]]}})",
        R"({"kind":"packet","value":{"fields":[{"name":"A","type":"blob"}],"rows":[["a"]]}})",
        R"({"kind":"packet","value":{"fields":{},"rows":[["a"]]}})",
        R"({"kind":"packet","value":{"rows":[["a"]]}})",
        R"({"kind":"packet","value":[]})",
        // Refusals of variants.
        R"({"kind":"array","value":[{"kind":"integer","value":1.5}]})",
        R"({"kind":"array","value":{"kind":"null"}})",
        R"({"kind":"array","value":[{"value":1}]})",
        R"({"kind":5,"value":1})",
        R"({"kind":"currency"})",
        R"({"kind":"currency","value":1})",
        R"({"kind":"integer","value":18446744073709551615})",
        deep,
        // Not JSON, or more than one value.
        R"({"kind":"text","value":"abc)",
        R"({"kind":"packet","value":{)" + fieldsAB + R"(,"rows":[["a",1e999]]}})",
        R"({"kind":"null"} {"kind":"null"})",
    };
    auto outcome = [](const std::function<Variant()>& decode) -> std::pair<std::string, Variant> {
        try {
            return {"", decode()};
        } catch (const net::ProtocolError& e) {
            return {e.code() + ": " + e.what(), Variant()};
        }
    };
    for (const std::string& text : variants) {
        const auto stream = outcome([&] { return net::decodeVariant(text); });
        const auto tree =
            outcome([&] { return net::variantFromJson(pla013::net::internal::parseStrict(text, "O valor")); });
        EXPECT_EQ(stream.first, tree.first) << text;
        EXPECT_EQ(stream.second.kind(), tree.second.kind()) << text;
        EXPECT_TRUE(stream.second == tree.second) << text;
    }
}

TEST(ResultEncoder, PiecesMakeExactlyTheWholeAnswerOrItsRefusal) {
    const auto lines = std::make_shared<DataPacket>(recipeLines());
    auto bad = [](Variant v) {
        auto p = std::make_shared<DataPacket>();
        p->fields = {{"F", FieldType::String, 10}};
        p->rows = {{Variant("ok")}, {std::move(v)}};
        return Variant(std::vector<Variant>{Variant(1), Variant(p)});
    };
    std::vector<Variant> deep = {Variant(1)};
    for (int i = 0; i < 40; ++i) deep = {Variant(deep)};
    const Variant results[] = {
        Variant::null(),
        Variant(std::string("texto \"com\" aspas\n")),
        Variant(std::vector<Variant>{Variant(lines), Variant(std::make_shared<DataPacket>()), Variant(lines)}),
        Variant(std::vector<Variant>{Variant(std::vector<Variant>{Variant(2.5), Variant::date(45000)}), Variant()}),
        bad(Variant(std::string("caf\xe9"))),
        bad(Variant(12)),
        Variant(std::vector<Variant>{Variant(std::shared_ptr<const DataPacket>())}),
        Variant(deep),
    };
    for (const Variant& result : results) {
        std::string whole;
        try {
            whole = net::encodeCallResult(result);
        } catch (const std::exception& e) {
            whole = std::string("refused: ") + e.what();
        }
        for (const std::size_t piece : {std::size_t(1), std::size_t(7), std::size_t(1) << 20}) {
            SCOPED_TRACE(whole.substr(0, 80) + " / pieces of " + std::to_string(piece));
            net::ResultEncoder encoder(result);
            std::string joined;
            try {
                for (bool more = true; more;) {
                    std::string out;
                    more = encoder.next(out, piece);
                    joined += out;
                }
            } catch (const std::exception& e) {
                joined = std::string("refused: ") + e.what();
            }
            EXPECT_EQ(joined, whole);
        }
    }
}

TEST(StreamDecoder, ReadingAsItComesStopsAtTheRowLimit) {
    DataPacket big = recipeLines();
    const Variant two(
        std::vector<Variant>{Variant(std::make_shared<DataPacket>(big)), Variant(std::make_shared<DataPacket>(big))});
    const std::string text = net::encodeCallResult(two);
    for (const std::size_t limit : {std::size_t(8), std::size_t(7), std::size_t(0)}) {
        std::istringstream in(text);
        if (limit >= 2 * big.rows.size()) {
            const auto parts = pla013::net::internal::readAnswer(in, "A resposta", limit);
            EXPECT_TRUE(parts.result == two);
        } else {
            EXPECT_THROW(pla013::net::internal::readAnswer(in, "A resposta", limit), pla013::net::internal::TooManyRows)
                << limit;
        }
    }
}

// A call answer's packets are read straight into compact packets: the same
// values as sent, from text or from a stream, taken by a data set without a
// copy and edited there like any other content.
TEST(StreamDecoder, AnswerPacketsArriveCompactAndLoadIntoDataSets) {
    const DataPacket lines = recipeLines();
    const std::string text =
        net::encodeCallResult(Variant(std::vector<Variant>{Variant(1), Variant(std::make_shared<DataPacket>(lines))}));
    std::istringstream in(text);
    for (Variant answer : {net::decodeCallResponse(text), pla013::net::internal::readAnswer(in, "A resposta").result}) {
        const Variant& element = answer.at(1);
        ASSERT_EQ(element.kind(), Variant::Kind::Packet);
        EXPECT_EQ(element.compactPacket().get(), element.compactPacket().get());  // held compact, not converted
        EXPECT_EQ(element.packetFields().size(), lines.fields.size());
        Variant copy = element;  // asked for rows of variants, it holds them from then on
        std::size_t values = 0;
        for (const auto& row : copy.packet()->rows) values += row.size();
        EXPECT_EQ(values, lines.rows.size() * lines.fields.size());
        expectSamePacket(*copy.packet(), lines);

        pla013::host::TClientDataSet cds("cdsLinhas");
        cds.SetData(answer.takeAt(1).takeCompactPacket());
        ASSERT_TRUE(cds.Locate("CDPRATOP", {Variant("0103")}, {}));
        cds.Edit();
        cds.FieldByName("NMPRODUTOP").SetAsString("Azeite de oliva extravirgem, lata");
        cds.Post();
        cds.Append();
        cds.FieldByName("CDPRATOP").SetAsString("0104");
        cds.FieldByName("NRSEQU").SetAsInteger(std::numeric_limits<std::int64_t>::min());
        cds.Post();
        DataPacket expected = lines;
        expected.rows[2][1] = Variant("Azeite de oliva extravirgem, lata");
        expected.rows.push_back({Variant("0104"), Variant::null(), Variant(std::numeric_limits<std::int64_t>::min()),
                                 Variant::null(), Variant::null()});
        expectSamePacket(cds.Data(), expected);
        cds.SetFilter("QTBRUTPRODP > 0.5");
        cds.SetFiltered(true);
        EXPECT_EQ(cds.RecordCount(), 1);
    }
}
