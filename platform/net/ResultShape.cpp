#include "platform/net/ResultShape.h"

#include <utility>
#include <vector>

#include "host/DataPacket.h"
#include "host/Errors.h"

namespace pla013::net {

namespace {

using host::FieldType;
using host::Variant;

struct Field {
    std::string name;
    FieldType type;
};
using Fields = std::vector<Field>;

const Fields kDishes = {
    {"CDPRATO", FieldType::String}, {"NMPRATO", FieldType::String}, {"CDFILAUXPRAT", FieldType::String}};

// A recipe line of a side (its suffix: P, L or S).
Fields lines(const std::string& side) {
    return {{"CDPRATO" + side, FieldType::String},    {"CDFILAUXPRAT" + side, FieldType::String},
            {"CDPRODUTO" + side, FieldType::String},  {"NMPRODUTO" + side, FieldType::String},
            {"SGUNIDPROD" + side, FieldType::String}, {"QTBRUTPROD" + side, FieldType::Float},
            {"VRCUSTPROD" + side, FieldType::Float},  {"CDARV" + side, FieldType::String}};
}

const Fields kCentral = {{"CDFILIALL", FieldType::String},  {"CDFILAUXPRAT", FieldType::String},
                         {"CDPRATO", FieldType::String},    {"NMPRATO", FieldType::String},
                         {"VRCUSTPRATP", FieldType::Float}, {"VRCUSTPRATL", FieldType::Float},
                         {"NMFILIAL", FieldType::String},   {"QTLINHASP", FieldType::Integer}};

const Fields kCostTypes = {{"NRTIPOCUST", FieldType::Integer}, {"NMTIPOCUST", FieldType::String}};

[[noreturn]] void invalid(const std::string& call, const std::string& what) {
    throw host::EInvalidAnswer(call + ": " + what);
}

// A packet with at least these fields, each of its kind (a whole number
// where a float is expected is a float).
void packetWith(const Variant& v, const Fields& fields, const std::string& call, const std::string& where) {
    if (v.kind() != Variant::Kind::Packet) invalid(call, where + " não é um pacote de dados");
    // Its fields only: a large packet is not copied to be looked at.
    host::DataPacket p;
    p.fields = v.packetFields();
    for (const Field& f : fields) {
        const int i = p.fieldIndex(f.name);
        if (i < 0) invalid(call, where + " não tem o campo " + f.name);
        const FieldType t = p.fields[std::size_t(i)].type;
        if (t != f.type && !(f.type == FieldType::Float && t == FieldType::Integer))
            invalid(call, where + ": o campo " + f.name + " é do tipo " + host::FieldTypeName(t) + ", não " +
                              host::FieldTypeName(f.type));
    }
}

void threePackets(const Variant& v, const Fields& a, const Fields& b, const Fields& c, const std::string& call) {
    if (!v.isArray()) invalid(call, "a resposta não é uma lista");
    if (v.array().size() != 3)
        invalid(call, "lista de " + std::to_string(v.array().size()) + " elementos (3 pacotes esperados)");
    packetWith(v.array()[0], a, call, "o elemento 0");
    packetWith(v.array()[1], b, call, "o elemento 1");
    packetWith(v.array()[2], c, call, "o elemento 2");
}

// [0, text, packet] on success, [code, text] on failure.
void serverResult(const Variant& v, const Fields& fields, const std::string& call) {
    if (!v.isArray()) invalid(call, "a resposta não é uma lista");
    const auto& a = v.array();
    if (a.size() < 2 || a.size() > 3)
        invalid(call, "lista de " + std::to_string(a.size()) + " elementos (2 ou 3 esperados)");
    if (a[0].kind() != Variant::Kind::Integer) invalid(call, "o elemento 0 não é um número inteiro");
    if (a[1].kind() != Variant::Kind::Text) invalid(call, "o elemento 1 não é um texto");
    if (a[0].toInt() != 0) {
        if (a.size() != 2) invalid(call, "um erro com um elemento 2");
        return;
    }
    if (a.size() != 3) invalid(call, "um sucesso sem o pacote de dados");
    packetWith(a[2], fields, call, "o elemento 2");
}

}  // namespace

void checkResultShape(const std::string& serverName, const std::string& method, const host::Variant& result) {
    const std::string call = serverName + "." + method;
    if (serverName == "PLA01303.rdmEmissaoReceitas") {
        if (method == "GetRelCompRecPL") threePackets(result, kDishes, lines("P"), lines("L"), call);
        if (method == "GetRelCompRecPS")
            threePackets(
                result,
                {{"CDFILAUXPRAT", FieldType::String}, {"CDPRATO", FieldType::String}, {"NMPRATO", FieldType::String}},
                lines("P"), lines("S"), call);
        if (method == "GetRelPlCent") serverResult(result, kCentral, call);
    } else if (serverName == "CUS00000.rdmCustProd" && method == "ListaTipoCusto") {
        if (result.isArray())
            serverResult(result, kCostTypes, call);
        else
            packetWith(result, kCostTypes, call, "a resposta");
    }
}

}  // namespace pla013::net
