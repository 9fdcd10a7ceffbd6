#include "platform/appserver/RecipeModule.h"

#include <cctype>
#include <cmath>
#include <map>
#include <memory>
#include <set>

#include "host/CostSum.h"
#include "host/DataPacket.h"
#include "host/Errors.h"
#include "platform/appserver/BranchScope.h"
#include "platform/appserver/internal/PacketBuilder.h"
#include "platform/appserver/internal/RecipeSql.h"
#include "platform/net/ProtocolError.h"

namespace pla013::appserver {

using host::DataPacket;
using host::FieldDef;
using host::FieldType;
using host::Variant;
using Kind = host::CallArg::Kind;
using Params = std::vector<std::pair<std::string, Variant>>;

namespace {

// Field lists of the client's data sets, in their order.
const std::vector<FieldDef>& dishFields() {  // cdsPratosRel
    static const std::vector<FieldDef> f = {
        {"CDPRATO", FieldType::String, 10}, {"NMPRATO", FieldType::String, 40}, {"CDFILAUXPRAT", FieldType::String, 4}};
    return f;
}

const std::vector<FieldDef>& dishFieldsPS() {  // cdsPratosRelPS
    static const std::vector<FieldDef> f = {
        {"CDFILAUXPRAT", FieldType::String, 4}, {"CDPRATO", FieldType::String, 10}, {"NMPRATO", FieldType::String, 40}};
    return f;
}

// cdsRecPLCent's fields, then the number of lines of the standard recipe,
// so that a report can tell a dish without standard recipe from one whose
// standard recipe has a line without cost (both have a null cost).
const std::vector<FieldDef>& centralFields() {
    static const std::vector<FieldDef> f = {
        {"CDFILIALL", FieldType::String, 4},  {"CDFILAUXPRAT", FieldType::String, 4},
        {"CDPRATO", FieldType::String, 10},   {"NMPRATO", FieldType::String, 40},
        {"VRCUSTPRATP", FieldType::Float, 0}, {"VRCUSTPRATL", FieldType::Float, 0},
        {"NMFILIAL", FieldType::String, 30},  {"QTLINHASP", FieldType::Integer, 0}};
    return f;
}

// One recipe line, the parts every side shares.
enum LinePart { Dish, Owner, Product, ProductName, Unit, Quantity, Cost, Tree, PartCount };

struct PartDef {
    const char* base;
    FieldType type;
    int size;
};

const PartDef kParts[PartCount] = {
    {"CDPRATO", FieldType::String, 10},   {"CDFILAUXPRAT", FieldType::String, 4}, {"CDPRODUTO", FieldType::String, 10},
    {"NMPRODUTO", FieldType::String, 50}, {"SGUNIDPROD", FieldType::String, 10},  {"QTBRUTPROD", FieldType::Float, 0},
    {"VRCUSTPROD", FieldType::Float, 0},  {"CDARV", FieldType::String, 20},
};

// cdsPratoPadr and cdsPratoLoca put the product code before its name;
// cdsPratoServ puts the name first.
const std::vector<LinePart> kLineOrder = {Dish, Owner, Product, ProductName, Unit, Quantity, Cost, Tree};
const std::vector<LinePart> kServiceLineOrder = {Dish, Owner, ProductName, Product, Unit, Quantity, Cost, Tree};

std::string trimmed(const Variant& v) {
    const std::string s = v.toString();
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

// Empty texts bind as SQL NULL: the queries read a null bound as "open".
Variant optionalText(const std::string& s) { return s.empty() ? Variant::null() : Variant(s); }

Variant packetValue(DataPacket packet) {
    return Variant(std::shared_ptr<const DataPacket>(std::make_shared<DataPacket>(std::move(packet))));
}

// The reference date without its time. Dates outside years 100 to 9999 are
// refused: no calendar conversion of ours is defined there.
host::TDateTime referenceDate(const host::CallArg& arg, const std::string& method, int position) {
    static const double first = host::EncodeDate(100, 1, 1);
    static const double last = host::EncodeDate(9999, 12, 31) + 1;
    const double d = arg.value.toDate();
    if (!(d >= first && d < last))
        throw net::ProtocolError(net::errc::BadArguments, "O argumento " + std::to_string(position) + " de " + method +
                                                              " (data de referência) está fora dos anos 100 a 9999.");
    return std::floor(d);
}

struct Filter {
    std::string branch;
    std::string first;
    std::string last;
    int costType = 0;
    host::TDateTime date = 0;

    // An empty bound leaves its side of the range open: the text for the
    // call has no condition for it.
    internal::sql::Bounds bounds() const { return {!first.empty(), !last.empty()}; }
};

Params params(const Filter& f) {
    return {{"P_CDFILIAL", optionalText(f.branch)},
            {"P_CDPRATOINI", optionalText(f.first)},
            {"P_CDPRATOFIN", optionalText(f.last)},
            {"P_NRTIPOCUST", Variant(f.costType)},
            {"P_DTREFER", Variant::date(f.date)}};
}

DataPacket run(host::IDatabase& db, const std::string& name, const std::string& sql, const Params& p) {
    host::QueryRequest request;
    request.name = name;
    request.sql.generic = sql;
    request.params = p;
    return db.Open(request);
}

DataPacket dishPacket(const DataPacket& rows, const std::vector<FieldDef>& fields, const std::string& what) {
    std::vector<std::string> names;
    for (const auto& f : fields) names.push_back(f.name);
    const internal::ResultColumns col(rows, names, what);
    DataPacket out;
    out.fields = fields;
    out.rows.reserve(rows.rows.size());
    for (const auto& row : rows.rows) {
        std::vector<Variant> values;
        for (std::size_t i = 0; i < fields.size(); ++i) values.push_back(internal::asText(row[col[i]]));
        out.rows.push_back(std::move(values));
    }
    return out;
}

// Recipe lines with the side's suffix ("P", "L", "S") on every field name.
DataPacket linePacket(const DataPacket& rows, const std::string& suffix, const std::vector<LinePart>& order,
                      const std::string& what) {
    const internal::ResultColumns col(
        rows, {"CDPRATO", "CDFILAUXPRAT", "CDPRODUTO", "NMPRODUTO", "SGUNIDPROD", "CDARV", "QTBRUTPROD", "VRCUSTO"},
        what);
    DataPacket out;
    for (LinePart part : order)
        out.fields.push_back({kParts[part].base + suffix, kParts[part].type, kParts[part].size});
    out.rows.reserve(rows.rows.size());
    Variant parts[PartCount];
    for (const auto& row : rows.rows) {
        parts[Dish] = internal::asText(row[col[0]]);
        parts[Owner] = internal::asText(row[col[1]]);
        parts[Product] = internal::asText(row[col[2]]);
        parts[ProductName] = internal::asText(row[col[3]]);
        parts[Unit] = internal::asText(row[col[4]]);
        parts[Tree] = internal::asText(row[col[5]]);
        parts[Quantity] = internal::asFloat(row[col[6]], what + " QTBRUTPROD");
        parts[Cost] = host::CostSum::lineCost(parts[Quantity], internal::asFloat(row[col[7]], what + " VRCUSTO"));
        std::vector<Variant> values;
        values.reserve(order.size());
        for (LinePart part : order) values.push_back(parts[part]);
        out.rows.push_back(std::move(values));
    }
    return out;
}

// A recipe's cost, the way every report shows one (host::CostSum): its
// lines' unrounded costs added and rounded once, to the cent; unknown when a
// line has no cost (a total that leaves an ingredient out would be wrong).
struct RecipeTotal {
    host::CostSum cost;

    void add(const Variant& quantity, const Variant& unitCost) {
        cost.add(host::CostSum::lineCost(quantity, unitCost));
    }
    Variant value() const { return cost.count() > 0 && cost.complete() ? cost.rounded() : Variant::null(); }
};

Variant serverError(int code, const std::string& message) {
    return Variant(std::vector<Variant>{Variant(code), Variant(message)});
}

}  // namespace

RecipeModule::RecipeModule() : m_name("PLA01303.rdmEmissaoReceitas") {
    m_methods.push_back({"GetRelCompRecPL",
                         {Kind::TextByRef, Kind::TextByRef, Kind::TextByRef, Kind::Int32, Kind::Date},
                         &RecipeModule::getRelCompRecPL,
                         {{0, BranchArg::Form::Code}}});
    m_methods.push_back({"GetRelCompRecPS",
                         {Kind::TextByValue, Kind::TextByRef, Kind::TextByRef, Kind::TextByRef, Kind::TextByRef,
                          Kind::Int32, Kind::Date},
                         &RecipeModule::getRelCompRecPS,
                         {{0, BranchArg::Form::Code}, {1, BranchArg::Form::Code}}});
    m_methods.push_back(
        {"GetRelPlCent",
         {Kind::TextByRef, Kind::TextByRef, Kind::TextByRef, Kind::TextByValue, Kind::Int32, Kind::Date},
         &RecipeModule::getRelPlCent,
         {{0, BranchArg::Form::List}, {3, BranchArg::Form::Code}}});
}

const std::string& RecipeModule::name() const { return m_name; }

const std::vector<RemoteMethod>& RecipeModule::methods() const { return m_methods; }

Variant RecipeModule::getRelCompRecPL(MethodCall& call) {
    const auto& a = call.args;
    Filter f;
    f.branch = trimmed(a[0].value);
    f.first = trimmed(a[1].value);
    f.last = trimmed(a[2].value);
    f.costType = int(a[3].value.toInt());
    f.date = referenceDate(a[4], "GetRelCompRecPL", 5);
    const Params p = params(f);

    const DataPacket dishes =
        run(call.db, "GetRelCompRecPL pratos", internal::sql::dishesWithLocalRecipe(f.bounds()), p);
    const DataPacket standard =
        run(call.db, "GetRelCompRecPL receita padrão", internal::sql::standardLines(f.bounds()), p);
    const DataPacket local = run(call.db, "GetRelCompRecPL receita local", internal::sql::localLines(f.bounds()), p);
    return Variant(std::vector<Variant>{
        packetValue(dishPacket(dishes, dishFields(), "GetRelCompRecPL pratos")),
        packetValue(linePacket(standard, "P", kLineOrder, "GetRelCompRecPL receita padrão")),
        packetValue(linePacket(local, "L", kLineOrder, "GetRelCompRecPL receita local")),
    });
}

Variant RecipeModule::getRelCompRecPS(MethodCall& call) {
    const auto& a = call.args;
    Filter f;
    const std::string serviceBranch = trimmed(a[0].value);
    f.branch = trimmed(a[1].value);
    f.first = trimmed(a[2].value);
    f.last = trimmed(a[3].value);
    const std::string service = trimmed(a[4].value);
    f.costType = int(a[5].value.toInt());
    f.date = referenceDate(a[6], "GetRelCompRecPS", 7);
    Params p = params(f);
    p.emplace_back("P_CDFILIALSERV", optionalText(serviceBranch));
    p.emplace_back("P_CDSERVFILI", optionalText(service));

    const DataPacket dishes =
        run(call.db, "GetRelCompRecPS pratos", internal::sql::dishesWithServiceRecipe(f.bounds()), p);
    const DataPacket standard =
        run(call.db, "GetRelCompRecPS receita padrão", internal::sql::standardLines(f.bounds()), p);
    const DataPacket lines =
        run(call.db, "GetRelCompRecPS receita do serviço", internal::sql::serviceLines(f.bounds()), p);
    return Variant(std::vector<Variant>{
        packetValue(dishPacket(dishes, dishFieldsPS(), "GetRelCompRecPS pratos")),
        packetValue(linePacket(standard, "P", kLineOrder, "GetRelCompRecPS receita padrão")),
        packetValue(linePacket(lines, "S", kServiceLineOrder, "GetRelCompRecPS receita do serviço")),
    });
}

Variant RecipeModule::getRelPlCent(MethodCall& call) {
    const auto& a = call.args;
    const BranchList list(trimmed(a[0].value));
    Filter f;
    f.first = trimmed(a[1].value);
    f.last = trimmed(a[2].value);
    f.branch = trimmed(a[3].value);
    f.costType = int(a[4].value.toInt());
    f.date = referenceDate(a[5], "GetRelPlCent", 6);
    const Params p = params(f);

    try {
        if (f.branch.empty()) return serverError(1, "Filial não informada.");
        if (run(call.db, "GetRelPlCent tipo de custo", internal::sql::costType(), p).rows.empty())
            return serverError(2, "Tipo de custo " + std::to_string(f.costType) + " não cadastrado.");

        const DataPacket branches = run(call.db, "GetRelPlCent filiais", internal::sql::branchesOfCentral(), p);
        if (branches.rows.empty()) return serverError(1, "Filial " + f.branch + " não cadastrada.");
        const internal::ResultColumns bcol(branches, {"CDFILIAL", "NMFILIAL"}, "GetRelPlCent filiais");
        std::map<std::string, Variant> branchNames;
        for (const auto& row : branches.rows) {
            const std::string code = row[bcol[0]].toString();
            if (list.contains(code)) branchNames.emplace(code, internal::asText(row[bcol[1]]));
        }

        DataPacket out;
        out.fields = centralFields();
        if (branchNames.empty()) return Variant(std::vector<Variant>{Variant(0), Variant(""), packetValue(out)});

        const std::string localWhat = "GetRelPlCent receitas locais";
        const DataPacket local = run(call.db, localWhat, internal::sql::localLinesOfCentral(f.bounds()), p);
        const internal::ResultColumns lcol(
            local, {"CDFILIAL", "CDFILAUXPRAT", "CDPRATO", "NMPRATO", "QTBRUTPROD", "VRCUSTO"}, localWhat);

        // Lines arrive grouped by branch and dish, in the order of the rows.
        struct Row {
            std::string branch, owner, dish;
            Variant name;
            RecipeTotal local;
        };
        std::vector<Row> rows;
        for (const auto& line : local.rows) {
            const std::string branch = line[lcol[0]].toString();
            if (!branchNames.count(branch)) continue;
            const std::string owner = line[lcol[1]].toString();
            const std::string dish = line[lcol[2]].toString();
            if (rows.empty() || rows.back().branch != branch || rows.back().owner != owner || rows.back().dish != dish)
                rows.push_back({branch, owner, dish, internal::asText(line[lcol[3]]), {}});
            rows.back().local.add(internal::asFloat(line[lcol[4]], localWhat + " QTBRUTPROD"),
                                  internal::asFloat(line[lcol[5]], localWhat + " VRCUSTO"));
        }

        std::map<std::pair<std::string, std::string>, RecipeTotal> standard;
        if (!rows.empty()) {
            const std::string stdWhat = "GetRelPlCent receitas padrão";
            const DataPacket lines = run(call.db, stdWhat, internal::sql::standardLinesInRange(f.bounds()), p);
            const internal::ResultColumns scol(lines, {"CDPRATO", "CDFILAUXPRAT", "QTBRUTPROD", "VRCUSTO"}, stdWhat);
            for (const auto& line : lines.rows)
                standard[{line[scol[0]].toString(), line[scol[1]].toString()}].add(
                    internal::asFloat(line[scol[2]], stdWhat + " QTBRUTPROD"),
                    internal::asFloat(line[scol[3]], stdWhat + " VRCUSTO"));
        }

        out.rows.reserve(rows.size());
        for (const auto& r : rows) {
            const auto s = standard.find({r.dish, r.owner});
            out.rows.push_back({Variant(r.branch), Variant(r.owner), Variant(r.dish), r.name,
                                s == standard.end() ? Variant::null() : s->second.value(), r.local.value(),
                                branchNames.at(r.branch),
                                Variant(std::int64_t(s == standard.end() ? 0 : s->second.cost.count()))});
        }
        return Variant(std::vector<Variant>{Variant(0), Variant(""), packetValue(std::move(out))});
    } catch (const net::ProtocolError&) {
        throw;
    } catch (const host::EHostError& e) {
        call.sessionFailed = true;
        return serverError(3, std::string("Erro ao consultar o banco de dados: ") + e.what());
    }
}

}  // namespace pla013::appserver
