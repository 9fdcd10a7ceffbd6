// Non-visual components of the dish report form: message table, lookup
// queries (texts, parameters, persistent fields), in-memory data sets, data
// sources and server connections.

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "form/TfrmRelatPrato.h"

using pla013::TfrmRelatPrato;
using pla013::host::FieldType;

namespace {

class FormData : public ::testing::Test {
protected:
    TfrmRelatPrato form;
};

// ---------------------------------------------------------------- messages

TEST_F(FormData, MessageTableHoldsEveryTextInStoredOrder) {
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Arq_Rel_Err",
         "O arquivo contendo a definição do relatório de código '%s' não foi encontrado no diretório '%s'."},
        {"NovoCaption", "Título do relatório"},
        {"NovoPrompt", "Informe o título do relatório:"},
        {"FILI_EMPTY", "Filial deve ser informada."},
        {"FILI_NCAD", "Filial não cadastrada."},
        {"FILI_CNT", "Filial com contrato rescindido."},
        {"SERV_EMPTY", "Serviço deve ser informado."},
        {"SERV_NCAD", "Serviço não cadastrado."},
        {"PRATOINI_EMPTY", "Prato inicial deve ser informado."},
        {"PRATO_NCAD", "Prato não cadastrado."},
        {"NIVEL_INV", "Nível de ordenação deve estar entre 0 e %d."},
        {"PRATOFIN_EMPTY", "Prato final deve ser informado."},
        {"Rec_Deve", "A opção de impressão deve ser informada."},
        {"PRATOINI>PRATOFIN", "Prato final deve ser maior ou igual ao prato inicial."},
        {"get_DadosPrat", "Carregando dados do prato..."},
        {"get_DadosPratPadr", "Carregando dados da receita padrão..."},
        {"get_DadosPratLoca", "Carregando dados do prato local..."},
        {"get_DadosPratServ", "Carregando dados do prato por serviço..."},
        {"datas", "Data inicial deve ser menor ou igual a data final."},
        {"get_DadosRec", "Carregando receitas..."},
        {"Filial", "Filial"},
        {"DATAINI", "Data inicial deve ser informada."},
        {"DATAFIN", "Data final deve ser informada."},
        {"PRATO", "Prato"},
        {"EMISSAO", "Emissão das Receitas"},
        {"TipoCard_inf", "Tipo de cardápio deve ser informado."},
        {"TipoCard_cad", "Tipo de cardápio não cadastrado."},
        {"Filial_N_Central", "Filial não está ligada a uma central de merenda."},
        {"Prat_NCad", "Prato não cadastrado."},
        {"Servico", "Serviço"},
    };
    EXPECT_EQ(form.msgPadrao->Items(), expected);
    // Keys that differ only in spelling must reach their own texts.
    EXPECT_EQ(form.msgPadrao->Msg("PRATO"), "Prato");
    EXPECT_EQ(form.msgPadrao->Msg("PRATO_NCAD"), "Prato não cadastrado.");
    EXPECT_EQ(form.msgPadrao->Msg("Filial"), "Filial");
    EXPECT_EQ(pla013::host::Format(form.msgPadrao->Msg("NIVEL_INV"), {3}),
              "Nível de ordenação deve estar entre 0 e 3.");
}

// ---------------------------------------------------------------- queries

struct Field {
    const char* name;
    int size;
    bool required;
    const char* label;
    int displayWidth;
    bool visible;
};

struct QueryRow {
    const char* name;
    std::vector<std::string> params;  // in list order
    bool generic, oracle, sqlServer, interBase;
    std::vector<Field> fields;
    const char* dataSource;  // nullptr: none
};

const QueryRow kQueries[] = {
    {"qryFilial",
     {},
     true,
     true,
     true,
     true,
     {{"CDFILIAL", 4, true, "Código", 0, true}, {"NMFILIAL", 30, false, "Nome", 0, true}},
     "dtsFilial__"},
    {"qryVdFilial", {"P_CDFILIAL"}, true, false, false, false, {{"NMFILIAL", 30, false, "Nome", 0, true}}, nullptr},
    {"qryServico",
     {"P_CDFILIAL"},
     true,
     true,
     true,
     true,
     {{"CDSERVFILI", 5, true, "Código", 0, true},
      {"NMSERVICO", 40, false, "Nome", 0, true},
      {"CDFILIAL", 4, true, "", 0, false}},
     "dtsServico__"},
    {"qryVdServico",
     {"P_CDFILIAL", "P_CDSERVFILI"},
     true,
     true,
     true,
     true,
     {{"NMSERVICO", 40, false, "Nome", 0, true}},
     nullptr},
    {"qryPrato",
     {"P_CDFILAUXPRAT", "P_CDPRATO", "P_TCDPRATO"},
     true,
     true,
     true,
     true,
     {{"CDPRATO", 10, true, "Código", 15, true},
      {"NMPRATO", 40, false, "Nome do Prato", 0, true},
      {"CDNVPRATO", 1, false, "", 0, false}},
     "dtsPrato__"},
    {"qryCentral", {"P_CDFILIAL"}, true, true, true, true, {}, "dtsCentral__"},
    {"qryTipoCard",
     {"P_CDTIPOCARD", "P_CDFILCENTPME"},
     false,
     true,
     true,
     true,
     {{"CDTIPOCARD", 10, true, "Código", 12, true}, {"NMTIPOCARD", 50, false, "Nome", 40, true}},
     "dtsTipoCard__"},
    {"qryServi",
     {"P_CDFILIAL", "P_TCDFILIAL"},
     true,
     false,
     true,
     true,
     {{"CDFILISERV", 9, false, "", 15, false},
      {"CDFILIAL", 4, false, "Filial", 15, true},
      {"CDSERVFILI", 5, false, "Código", 15, true},
      {"NMSERVICO", 40, false, "Nome", 40, true}},
     "dtsServ__"},
};

pla013::host::TADOIBQuery& queryNamed(TfrmRelatPrato& form, const std::string& name) {
    auto* q = dynamic_cast<pla013::host::TADOIBQuery*>(form.FindComponent(name));
    if (!q) throw std::runtime_error("no query " + name);
    return *q;
}

std::set<std::string> paramsUsedIn(const std::string& sql) {
    static const std::regex param(":(P_[A-Za-z0-9_]+)");
    std::set<std::string> names;
    for (auto it = std::sregex_iterator(sql.begin(), sql.end(), param); it != std::sregex_iterator(); ++it)
        names.insert((*it)[1]);
    return names;
}

TEST_F(FormData, QueriesDeclareExactlyTheParametersTheirTextsUse) {
    for (const QueryRow& row : kQueries) {
        SCOPED_TRACE(row.name);
        pla013::host::TADOIBQuery& q = queryNamed(form, row.name);
        EXPECT_FALSE(q.Active());
        EXPECT_EQ(!q.SQL.generic.empty(), row.generic);
        EXPECT_EQ(!q.SQL.oracle.empty(), row.oracle);
        EXPECT_EQ(!q.SQL.sqlServer.empty(), row.sqlServer);
        EXPECT_EQ(!q.SQL.interBase.empty(), row.interBase);

        std::vector<std::string> declared;
        for (std::size_t i = 0; i < q.Params().Count(); ++i) {
            declared.push_back(q.Params()[i].Name());
            EXPECT_EQ(q.Params()[i].DataType(), FieldType::String) << q.Params()[i].Name();
        }
        EXPECT_EQ(declared, row.params);

        std::set<std::string> used;
        for (const std::string* text : {&q.SQL.generic, &q.SQL.oracle, &q.SQL.sqlServer, &q.SQL.interBase}) {
            auto names = paramsUsedIn(*text);
            used.insert(names.begin(), names.end());
            // Every text in a dialect uses only declared parameters.
            for (const auto& n : names) EXPECT_NE(q.Params().FindParam(n), nullptr) << n;
            if (!text->empty()) {
                EXPECT_EQ(text->back(), '\n');
                EXPECT_EQ(text->find('\r'), std::string::npos);
                EXPECT_EQ(text->find('\t'), std::string::npos);
            }
        }
        EXPECT_EQ(used, std::set<std::string>(row.params.begin(), row.params.end()));
    }
}

TEST_F(FormData, StoredTextsKeepTheirOwnShape) {
    // Blanks and lines as stored, and the dialect differences.
    EXPECT_NE(form.qryVdFilial->SQL.generic.find("\nFROM \n   FILIAL\n"), std::string::npos);
    EXPECT_EQ(form.qryServico->SQL.generic.substr(0, form.qryServico->SQL.oracle.size()), form.qryServico->SQL.oracle);
    EXPECT_GT(form.qryServico->SQL.generic.size(), form.qryServico->SQL.oracle.size());
    EXPECT_EQ(form.qryServico->SQL.generic.find_first_not_of('\n', form.qryServico->SQL.oracle.size()),
              std::string::npos);
    EXPECT_EQ(form.qryServi->SQL.interBase.rfind("    SELECT \n", 0), 0u);
    EXPECT_NE(form.qryServi->SQL.generic.find("--AND\n  -- (IDTIPOSERV <> 'A')\n"), std::string::npos);
    EXPECT_NE(form.qryServi->SQL.sqlServer.find(") AND\n   (IDTIPOSERV <> 'A')\n"), std::string::npos);
    EXPECT_NE(form.qryCentral->SQL.oracle.find("NVL(FI.CDFILCENTPME, FI.CDFILIAL)"), std::string::npos);
    EXPECT_NE(form.qryCentral->SQL.sqlServer.find("ISNULL(FI.CDFILCENTPME, FI.CDFILIAL)"), std::string::npos);
    EXPECT_NE(form.qryCentral->SQL.interBase.find("NVLSTR(FI.CDFILCENTPME, FI.CDFILIAL)"), std::string::npos);
    EXPECT_NE(form.qryTipoCard->SQL.interBase.find("NVLSTR(P_CDTIPOCARD.PARAM, CDTIPOCARD)"), std::string::npos);
    EXPECT_EQ(form.qryFilial->SQL.generic, form.qryFilial->SQL.interBase);
    EXPECT_EQ(form.qryPrato->SQL.generic, form.qryPrato->SQL.sqlServer);
}

TEST_F(FormData, PersistentFieldsCarryWidthLabelAndVisibility) {
    for (const QueryRow& row : kQueries) {
        SCOPED_TRACE(row.name);
        pla013::host::TADOIBQuery& q = queryNamed(form, row.name);
        ASSERT_EQ(q.Fields().size(), row.fields.size());
        for (std::size_t i = 0; i < row.fields.size(); ++i) {
            const Field& want = row.fields[i];
            const pla013::host::TField& f = *q.Fields()[i];
            SCOPED_TRACE(want.name);
            EXPECT_EQ(f.FieldName(), want.name);
            EXPECT_EQ(f.DataType(), FieldType::String);
            EXPECT_EQ(f.Size(), want.size);
            EXPECT_EQ(f.Required(), want.required);
            // A field without a label of its own is labelled with its name.
            EXPECT_EQ(f.DisplayLabel, *want.label ? want.label : want.name);
            if (want.displayWidth) {
                EXPECT_EQ(f.DisplayWidth, want.displayWidth);
            }
            EXPECT_EQ(f.Visible, want.visible);
        }
        if (row.dataSource) {
            auto* ds = dynamic_cast<pla013::host::TDataSource*>(form.FindComponent(row.dataSource));
            ASSERT_NE(ds, nullptr) << row.dataSource;
            EXPECT_EQ(ds->DataSet, &q);
        }
    }
    // The members the handlers use point at the same fields.
    EXPECT_EQ(form.qryPratoCDPRATO, form.qryPrato->FindField("CDPRATO"));
    EXPECT_EQ(form.qryPratoNMPRATO, form.qryPrato->FindField("NMPRATO"));
    EXPECT_EQ(form.qryFilialCDFILIAL, form.qryFilial->FindField("CDFILIAL"));
    EXPECT_EQ(form.qryFilialNMFILIAL, form.qryFilial->FindField("NMFILIAL"));
    EXPECT_EQ(form.qryServicoCDSERVFILI, form.qryServico->FindField("CDSERVFILI"));
    EXPECT_EQ(form.qryServicoNMSERVICO, form.qryServico->FindField("NMSERVICO"));
    EXPECT_EQ(form.qryTipoCardCDTIPOCARD, form.qryTipoCard->FindField("CDTIPOCARD"));
    EXPECT_EQ(form.qryTipoCardNMTIPOCARD, form.qryTipoCard->FindField("NMTIPOCARD"));
}

// ---------------------------------------------------------------- client data sets

struct Def {
    std::string name;
    FieldType type;
    int size;
};
const FieldType S = FieldType::String, I = FieldType::Integer, F = FieldType::Float;

struct DataSetRow {
    const char* name;
    std::vector<Def> fields;
    const char* index;   // nullptr: none
    const char* source;  // nullptr: none
};

std::vector<Def> composition(const char* side) {
    auto n = [side](const char* stem) { return std::string(stem) + side; };
    return {{"CDPRATO", S, 10},      {"NMPRATO", S, 40},       {"CDFILAUXPRAT", S, 4},  {"NRSEQUPRATO", I, 0},
            {"CDPRODUTOP", S, 10},   {"CDARVP", S, 20},        {"NMPRODUTOP", S, 50},   {"SGUNIDPRODP", S, 10},
            {"QTBRUTPRODP", F, 0},   {"VRCUSTPRODP", F, 0},    {n("CDPRODUTO"), S, 10}, {n("CDARV"), S, 20},
            {n("NMPRODUTO"), S, 50}, {n("SGUNIDPROD"), S, 10}, {n("QTBRUTPROD"), F, 0}, {n("VRCUSTPROD"), F, 0}};
}

TEST_F(FormData, ClientDataSetsDefineTheirFieldsInOrder) {
    const DataSetRow rows[] = {
        {"cdsReceitaPadLoc", composition("L"), "IndicePrato", "dtsRelatRecPaLo"},
        {"cdsReceitaPadSer", composition("S"), "IndicePratoPS", "dtsRelatRecPaSe"},
        {"cdsPratosRel", {{"CDPRATO", S, 10}, {"NMPRATO", S, 40}, {"CDFILAUXPRAT", S, 4}}, nullptr, nullptr},
        {"cdsPratosRelPS", {{"CDFILAUXPRAT", S, 4}, {"CDPRATO", S, 10}, {"NMPRATO", S, 40}}, nullptr, nullptr},
        {"cdsPratoPadr",
         {{"CDPRATOP", S, 10},
          {"CDFILAUXPRATP", S, 4},
          {"CDPRODUTOP", S, 10},
          {"NMPRODUTOP", S, 50},
          {"SGUNIDPRODP", S, 10},
          {"QTBRUTPRODP", F, 0},
          {"VRCUSTPRODP", F, 0},
          {"CDARVP", S, 20}},
         nullptr,
         nullptr},
        {"cdsPratoLoca",
         {{"CDPRATOL", S, 10},
          {"CDFILAUXPRATL", S, 4},
          {"CDPRODUTOL", S, 10},
          {"NMPRODUTOL", S, 50},
          {"SGUNIDPRODL", S, 10},
          {"QTBRUTPRODL", F, 0},
          {"VRCUSTPRODL", F, 0},
          {"CDARVL", S, 20}},
         nullptr,
         nullptr},
        {"cdsPratoServ",
         {{"CDPRATOS", S, 10},
          {"CDFILAUXPRATS", S, 4},
          {"NMPRODUTOS", S, 50},
          {"CDPRODUTOS", S, 10},
          {"SGUNIDPRODS", S, 10},
          {"QTBRUTPRODS", F, 0},
          {"VRCUSTPRODS", F, 0},
          {"CDARVS", S, 20}},
         nullptr,
         nullptr},
        {"cdsRecPLCent",
         {{"CDFILIALL", S, 4},
          {"CDFILAUXPRAT", S, 4},
          {"CDPRATO", S, 10},
          {"NMPRATO", S, 40},
          {"VRCUSTPRATP", F, 0},
          {"VRCUSTPRATL", F, 0},
          {"NMFILIAL", S, 30}},
         nullptr,
         "dtsRecPLCent"},
    };
    for (const DataSetRow& row : rows) {
        SCOPED_TRACE(row.name);
        auto* cds = dynamic_cast<pla013::host::TClientDataSet*>(form.FindComponent(row.name));
        ASSERT_NE(cds, nullptr);
        EXPECT_FALSE(cds->Active());
        ASSERT_EQ(cds->FieldDefs.size(), row.fields.size());
        for (std::size_t i = 0; i < row.fields.size(); ++i) {
            SCOPED_TRACE(row.fields[i].name);
            EXPECT_EQ(cds->FieldDefs[i].name, row.fields[i].name);
            EXPECT_EQ(cds->FieldDefs[i].type, row.fields[i].type);
            EXPECT_EQ(cds->FieldDefs[i].size, row.fields[i].size);
        }
        if (row.index) {
            ASSERT_EQ(cds->IndexDefs.size(), 1u);
            EXPECT_EQ(cds->IndexDefs[0].name, row.index);
            EXPECT_EQ(cds->IndexDefs[0].fields, "CDPRATO;CDFILAUXPRAT;NRSEQUPRATO");
            EXPECT_EQ(cds->IndexName(), row.index);
        } else {
            EXPECT_TRUE(cds->IndexDefs.empty());
            EXPECT_EQ(cds->IndexName(), "");
        }
        if (row.source) {
            auto* ds = dynamic_cast<pla013::host::TDataSource*>(form.FindComponent(row.source));
            ASSERT_NE(ds, nullptr);
            EXPECT_EQ(ds->DataSet, cds);
        }
    }
}

TEST_F(FormData, CompositionIndexOrdersByDishOwnerAndLine) {
    // Rows arrive in any order; the report reads them dish by dish, line by line.
    pla013::host::TClientDataSet& cds = *form.cdsReceitaPadLoc;
    cds.CreateDataSet();
    const std::tuple<const char*, const char*, int> rows[] = {{"10", "P", 2}, {"9", "P", 1},      {"10", "0002", 1},
                                                              {"10", "P", 1}, {"10", "0002", 10}, {"10", "0002", 2}};
    for (auto [prato, dono, seq] : rows) {
        cds.Append();
        cds.FieldByName("CDPRATO").SetAsString(prato);
        cds.FieldByName("CDFILAUXPRAT").SetAsString(dono);
        cds.FieldByName("NRSEQUPRATO").SetAsInteger(seq);
        cds.Post();
    }
    std::vector<std::string> seen;
    for (cds.First(); !cds.Eof(); cds.Next())
        seen.push_back(cds.FieldByName("CDPRATO").AsString() + "/" + cds.FieldByName("CDFILAUXPRAT").AsString() + "/" +
                       std::to_string(cds.FieldByName("NRSEQUPRATO").AsInteger()));
    EXPECT_EQ(seen, (std::vector<std::string>{"10/0002/1", "10/0002/2", "10/0002/10", "10/P/1", "10/P/2", "9/P/1"}));
}

// ---------------------------------------------------------------- connections

TEST_F(FormData, ConnectionsNameTheirRemoteModulesAndReportFailuresAsResults) {
    const std::pair<pla013::host::TNetConnection*, const char*> rows[] = {
        {form.netCustProd, "CUS00000.rdmCustProd"},
        {form.netEmissaoReceita, "PLA01303.rdmEmissaoReceitas"},
    };
    for (auto [net, server] : rows) {
        SCOPED_TRACE(net->Name());
        EXPECT_EQ(net->ServerName, server);
        EXPECT_FALSE(net->ThrowException);
        EXPECT_FALSE(net->Connected());
        EXPECT_TRUE(bool(net->BeforeConnect));
        // No address is designed into the form; it comes from the host on connecting.
        EXPECT_EQ(net->Host(), "");
    }
    EXPECT_EQ(form.FindComponent("netCustProd"), form.netCustProd);
    EXPECT_EQ(form.FindComponent("netEmissaoReceita"), form.netEmissaoReceita);
}

// ---------------------------------------------------------------- form state

TEST_F(FormData, StateStartsEmptyAndIsPublishedToTheHost) {
    EXPECT_FALSE(form.FPrimeiraVez);
    for (const std::string* s :
         {&form.FCdFilial, &form.FArqRelat, &form.FListaFilial, &form.FListaServico, &form.FCdFilialRec})
        EXPECT_EQ(*s, "");
    form.FCdFilial = "0002";
    form.FArqRelat = "PLA01305.QR2";
    form.FListaFilial = "T";
    form.FListaServico = "0002,00001";
    form.FCdFilialRec = "0003";  // internal: not published
    const std::vector<std::pair<std::string, pla013::host::Variant>> expected = {
        {"FCdFilial", "0002"}, {"FArqRelat", "PLA01305.QR2"}, {"FListaFilial", "T"}, {"FListaServico", "0002,00001"}};
    EXPECT_EQ(form.PublishedFields(), expected);
}

}  // namespace
