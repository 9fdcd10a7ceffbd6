// The form's data as designed: lookup queries with their SQL texts per
// dialect, the search buttons over them, the in-memory data sets of the
// comparison reports, the server connections and the message table.

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "form/TfrmRelatPrato.h"

namespace pla013 {

using namespace host;

namespace {

// One SQL text as stored: every line ends with a line break; blanks at the
// end of a line are kept.
std::string sqlText(std::initializer_list<const char*> lines) {
    std::string text;
    for (const char* line : lines) {
        text += line;
        text += '\n';
    }
    return text;
}

TADOIBQuery* query(TfrmRelatPrato& f, const char* name, std::initializer_list<const char*> params) {
    auto* q = f.AddComponent<TADOIBQuery>(name);
    for (const char* p : params) q->Params().CreateParam(FieldType::String, p);
    return q;
}

FieldDef text(const char* name, int size, bool required = false) {
    return FieldDef{name, FieldType::String, size, required};
}
FieldDef integer(const char* name) { return FieldDef{name, FieldType::Integer, 0, false}; }
FieldDef real(const char* name) { return FieldDef{name, FieldType::Float, 0, false}; }

TClientDataSet* clientDataSet(TfrmRelatPrato& f, const char* name, std::vector<FieldDef> fields) {
    auto* c = f.AddComponent<TClientDataSet>(name);
    c->FieldDefs = std::move(fields);
    return c;
}

}  // namespace

void TfrmRelatPrato::createBranchAndServiceQueries() {
    auto& f = *this;

    qryFilial = query(f, "qryFilial", {});
    {
        const std::string sql = sqlText({
            "SELECT",
            "   CDFILIAL,",
            "   NMFILIAL",
            "FROM",
            "   FILIAL",
            "ORDER BY",
            "   CDFILIAL",
        });
        qryFilial->SQL = SqlTexts{sql, sql, sql, sql};
    }
    qryFilialCDFILIAL = qryFilial->AddPersistentField(text("CDFILIAL", 4, true), "Código");
    qryFilialNMFILIAL = qryFilial->AddPersistentField(text("NMFILIAL", 30), "Nome");

    qryVdFilial = query(f, "qryVdFilial", {"P_CDFILIAL"});
    qryVdFilial->SQL.generic = sqlText({
        "SELECT",
        "   NMFILIAL",
        "FROM ",
        "   FILIAL",
        "WHERE",
        "   CDFILIAL = :P_CDFILIAL",
    });
    qryVdFilialNMFILIAL = qryVdFilial->AddPersistentField(text("NMFILIAL", 30), "Nome");

    qryServico = query(f, "qryServico", {"P_CDFILIAL"});
    {
        const std::string sql = sqlText({
            "SELECT",
            "   CDSERVFILI,",
            "   NMSERVICO,",
            "   CDFILIAL",
            "FROM",
            "   SERVICO",
            "WHERE",
            "   (CDFILIAL   = :P_CDFILIAL) AND",
            "   (IDTIPOSERV <> 'A')",
            "ORDER BY",
            "   CDFILIAL,",
            "   CDSERVFILI",
        });
        // The generic text carries two empty lines at its end.
        qryServico->SQL = SqlTexts{sql + "\n\n", sql, sql, sql};
    }
    qryServicoCDSERVFILI = qryServico->AddPersistentField(text("CDSERVFILI", 5, true), "Código");
    qryServicoNMSERVICO = qryServico->AddPersistentField(text("NMSERVICO", 40), "Nome");
    qryServicoCDFILIAL = qryServico->AddPersistentField(text("CDFILIAL", 4, true), {}, 0, false);

    qryVdServico = query(f, "qryVdServico", {"P_CDFILIAL", "P_CDSERVFILI"});
    {
        const std::string sql = sqlText({
            "SELECT",
            "   NMSERVICO",
            "FROM",
            "   SERVICO",
            "WHERE",
            "   (CDFILIAL   = :P_CDFILIAL)   AND",
            "   (CDSERVFILI = :P_CDSERVFILI) AND",
            "   (IDTIPOSERV <> 'A')",
        });
        qryVdServico->SQL = SqlTexts{sql, sql, sql, sql};
    }
    qryVdServicoNMSERVICO = qryVdServico->AddPersistentField(text("NMSERVICO", 40), "Nome");
}

void TfrmRelatPrato::createDishAndCentralQueries() {
    auto& f = *this;

    qryPrato = query(f, "qryPrato", {"P_CDFILAUXPRAT", "P_CDPRATO", "P_TCDPRATO"});
    {
        const std::string sql = sqlText({
            "SELECT",
            "   CDNVPRATO,",
            "   CDPRATO,",
            "   NMPRATO",
            "FROM PRATO",
            "WHERE",
            "   ((CDFILAUXPRAT = 'P') OR (CDFILAUXPRAT = :P_CDFILAUXPRAT)) AND",
            "   ((CDPRATO = :P_CDPRATO) OR (:P_TCDPRATO = 'T'))",
            "ORDER BY",
            "   CDPRATO,",
            "   NMPRATO",
        });
        qryPrato->SQL = SqlTexts{sql, sql, sql, sql};
    }
    qryPratoCDPRATO = qryPrato->AddPersistentField(text("CDPRATO", 10, true), "Código", 15);
    qryPratoNMPRATO = qryPrato->AddPersistentField(text("NMPRATO", 40), "Nome do Prato");
    qryPratoCDNVPRATO = qryPrato->AddPersistentField(text("CDNVPRATO", 1), {}, 0, false);

    // P_CDFILIAL occurs twice in the InterBase text (as the PARAM source and
    // in the condition). A parameter list holds a name once and binding is by
    // name, so one parameter serves both occurrences.
    qryCentral = query(f, "qryCentral", {"P_CDFILIAL"});
    {
        const char* select =
            "SELECT FI.CDFILIAL, FI.NMFILIAL, FI.IDCNTRRESC, FI.IDFILCENTPME, FI.CDFILCENTPME, "
            "NMCENT.NMFILIAL AS NMCENTRAL";
        const std::string withNvl = sqlText({
            select,
            "FROM FILIAL FI, FILIAL NMCENT",
            "WHERE (FI.CDFILIAL = :P_CDFILIAL)",
            "  AND NVL(FI.CDFILCENTPME, FI.CDFILIAL) = NMCENT.CDFILIAL",
            "ORDER BY FI.CDFILIAL",
        });
        qryCentral->SQL.generic = withNvl;
        qryCentral->SQL.oracle = withNvl;
        qryCentral->SQL.sqlServer = sqlText({
            select,
            "FROM FILIAL FI, FILIAL NMCENT",
            "WHERE (FI.CDFILIAL = :P_CDFILIAL)",
            "  AND ISNULL(FI.CDFILCENTPME, FI.CDFILIAL) = NMCENT.CDFILIAL",
            "ORDER BY FI.CDFILIAL",
        });
        qryCentral->SQL.interBase = sqlText({
            select,
            "FROM FILIAL FI, FILIAL NMCENT, PARAM(:P_CDFILIAL) P_CDFILIAL",
            "WHERE (FI.CDFILIAL = :P_CDFILIAL)",
            "  AND NVLSTR(FI.CDFILCENTPME, FI.CDFILIAL) = NMCENT.CDFILIAL",
            "ORDER BY FI.CDFILIAL",
        });
    }
}

void TfrmRelatPrato::createMenuTypeAndServiceListQueries() {
    auto& f = *this;

    // No generic text: every engine has its own.
    qryTipoCard = query(f, "qryTipoCard", {"P_CDTIPOCARD", "P_CDFILCENTPME"});
    qryTipoCard->SQL.oracle = sqlText({
        "SELECT",
        "   CDTIPOCARD,",
        "   NMTIPOCARD",
        "FROM",
        "   TIPOCARD",
        "WHERE",
        "   (CDFILCENTPME = :P_CDFILCENTPME) AND",
        "   (CDTIPOCARD   = NVL(:P_CDTIPOCARD, CDTIPOCARD))",
        "ORDER BY",
        "   CDTIPOCARD",
    });
    qryTipoCard->SQL.sqlServer = sqlText({
        "SELECT",
        "   CDTIPOCARD,",
        "   NMTIPOCARD",
        "FROM",
        "   TIPOCARD",
        "WHERE",
        "   (CDFILCENTPME = :P_CDFILCENTPME) AND",
        "   (CDTIPOCARD   = ISNULL(:P_CDTIPOCARD, CDTIPOCARD))",
        "ORDER BY",
        "   CDTIPOCARD",
    });
    qryTipoCard->SQL.interBase = sqlText({
        "SELECT",
        "   CDTIPOCARD,",
        "   NMTIPOCARD",
        "FROM",
        "   TIPOCARD, PARAM(:P_CDTIPOCARD) P_CDTIPOCARD",
        "WHERE",
        "   (CDFILCENTPME = :P_CDFILCENTPME) AND",
        "   (CDTIPOCARD   = NVLSTR(P_CDTIPOCARD.PARAM, CDTIPOCARD))",
        "ORDER BY",
        "   CDTIPOCARD",
    });
    qryTipoCardCDTIPOCARD = qryTipoCard->AddPersistentField(text("CDTIPOCARD", 10, true), "Código", 12);
    qryTipoCardNMTIPOCARD = qryTipoCard->AddPersistentField(text("NMTIPOCARD", 50), "Nome", 40);

    // No Oracle text. The generic text lists services of every IDTIPOSERV
    // (its condition is commented out); the SQL Server text keeps it.
    qryServi = query(f, "qryServi", {"P_CDFILIAL", "P_TCDFILIAL"});
    qryServi->SQL.generic = sqlText({
        "SELECT",
        "   (CDFILIAL || CDSERVFILI) AS CDFILISERV,",
        "   CDFILIAL,",
        "   CDSERVFILI,",
        "   NMSERVICO",
        "FROM",
        "   SERVICO",
        "WHERE",
        "   ((INSTR(:P_CDFILIAL, CDFILIAL )<> 0) OR (:P_CDFILIAL = 'T')) --AND",
        "  -- (IDTIPOSERV <> 'A')",
        "ORDER BY",
        "   CDFILIAL,",
        "   CDSERVFILI",
    });
    qryServi->SQL.sqlServer = sqlText({
        "SELECT",
        "   (CDFILIAL + CDSERVFILI) AS CDFILISERV,",
        "   CDFILIAL,",
        "   CDSERVFILI,",
        "   NMSERVICO",
        "FROM",
        "   SERVICO",
        "WHERE",
        "   ((CHARINDEX(CDFILIAL , :P_CDFILIAL)<> 0) OR (:P_CDFILIAL = 'T')) AND",
        "   (IDTIPOSERV <> 'A')",
        "ORDER BY",
        "   CDFILIAL,",
        "   CDSERVFILI",
    });
    qryServi->SQL.interBase = sqlText({
        "    SELECT ",
        "      CDFILIAL||CDSERVFILI AS CDFILISERV,",
        "      CDFILIAL,",
        "      CDSERVFILI,",
        "      NMSERVICO",
        "   FROM SERVICO,",
        "      PARAM(:P_CDFILIAL) P_CDFILIAL, PARAM(:P_TCDFILIAL) P_TCDFILIAL",
        "   WHERE ((INSTR(P_CDFILIAL.PARAM,CDFILIAL) <> 0) OR (P_CDFILIAL.PARAM = 'T'))",
        "   ORDER BY CDFILIAL, CDSERVFILI",
    });
    // The key is a branch code (4) followed by a service code (5).
    qryServiCDFILISERV = qryServi->AddPersistentField(text("CDFILISERV", 9), {}, 15, false);
    qryServiCDFILIAL = qryServi->AddPersistentField(text("CDFILIAL", 4), "Filial", 15);
    qryServiCDSERVFILI = qryServi->AddPersistentField(text("CDSERVFILI", 5), "Código", 15);
    qryServiNMSERVICO = qryServi->AddPersistentField(text("NMSERVICO", 40), "Nome", 40);
}

void TfrmRelatPrato::linkSearchButtons() {
    dtsFilial__ = AddComponent<TDataSource>("dtsFilial__", qryFilial);
    dtsServico__ = AddComponent<TDataSource>("dtsServico__", qryServico);
    dtsPrato__ = AddComponent<TDataSource>("dtsPrato__", qryPrato);
    dtsCentral__ = AddComponent<TDataSource>("dtsCentral__", qryCentral);
    dtsTipoCard__ = AddComponent<TDataSource>("dtsTipoCard__", qryTipoCard);
    dtsServ__ = AddComponent<TDataSource>("dtsServ__", qryServi);

    btnFilial->DataSource = dtsFilial__;
    btnFilial->AssociatedControl = medCdFilial;
    btnFilial->DisplayFields = {"CDFILIAL", "NMFILIAL"};
    btnServico->DataSource = dtsServico__;
    btnServico->AssociatedControl = medCdServFili;
    btnServico->EmptyText = "Não há serviço cadastrado.";
    btnServico->DisplayFields = {"CDSERVFILI", "NMSERVICO"};
    btpTpCard->DataSource = dtsTipoCard__;
    btpTpCard->AssociatedControl = medCdTpCard;
    btpTpCard->EmptyText = "Não há tipo de cardápio cadastrado.";
    btpTpCard->DisplayFields = {"CDTIPOCARD", "NMTIPOCARD"};
    for (auto [button, edit] : {std::pair{btnCdPratoIni, medCdPratoIni}, std::pair{btnProdFin, medCdPratoFin}}) {
        button->DataSource = dtsPrato__;
        button->AssociatedControl = edit;
        button->EmptyText = "Não há prato cadastrado.";
        button->DisplayFields = {"CDPRATO", "NMPRATO"};
    }
    btnFilialCent->DataSource = dtsFilial__;
    btnFili->DataSource = dtsFilial__;
    btnServicoLista->DataSource = dtsServ__;
}

void TfrmRelatPrato::createComparisonDataSets() {
    auto& f = *this;

    cdsReceitaPadLoc =
        clientDataSet(f, "cdsReceitaPadLoc",
                      {text("CDPRATO", 10), text("NMPRATO", 40), text("CDFILAUXPRAT", 4), integer("NRSEQUPRATO"),
                       text("CDPRODUTOP", 10), text("CDARVP", 20), text("NMPRODUTOP", 50), text("SGUNIDPRODP", 10),
                       real("QTBRUTPRODP"), real("VRCUSTPRODP"), text("CDPRODUTOL", 10), text("CDARVL", 20),
                       text("NMPRODUTOL", 50), text("SGUNIDPRODL", 10), real("QTBRUTPRODL"), real("VRCUSTPRODL")});
    cdsReceitaPadLoc->IndexDefs = {{"IndicePrato", "CDPRATO;CDFILAUXPRAT;NRSEQUPRATO"}};
    cdsReceitaPadLoc->SetIndexName("IndicePrato");

    cdsReceitaPadSer =
        clientDataSet(f, "cdsReceitaPadSer",
                      {text("CDPRATO", 10), text("NMPRATO", 40), text("CDFILAUXPRAT", 4), integer("NRSEQUPRATO"),
                       text("CDPRODUTOP", 10), text("CDARVP", 20), text("NMPRODUTOP", 50), text("SGUNIDPRODP", 10),
                       real("QTBRUTPRODP"), real("VRCUSTPRODP"), text("CDPRODUTOS", 10), text("CDARVS", 20),
                       text("NMPRODUTOS", 50), text("SGUNIDPRODS", 10), real("QTBRUTPRODS"), real("VRCUSTPRODS")});
    cdsReceitaPadSer->IndexDefs = {{"IndicePratoPS", "CDPRATO;CDFILAUXPRAT;NRSEQUPRATO"}};
    cdsReceitaPadSer->SetIndexName("IndicePratoPS");

    cdsPratosRel =
        clientDataSet(f, "cdsPratosRel", {text("CDPRATO", 10), text("NMPRATO", 40), text("CDFILAUXPRAT", 4)});
    cdsPratosRelPS =
        clientDataSet(f, "cdsPratosRelPS", {text("CDFILAUXPRAT", 4), text("CDPRATO", 10), text("NMPRATO", 40)});
    cdsPratoPadr =
        clientDataSet(f, "cdsPratoPadr",
                      {text("CDPRATOP", 10), text("CDFILAUXPRATP", 4), text("CDPRODUTOP", 10), text("NMPRODUTOP", 50),
                       text("SGUNIDPRODP", 10), real("QTBRUTPRODP"), real("VRCUSTPRODP"), text("CDARVP", 20)});
    cdsPratoLoca =
        clientDataSet(f, "cdsPratoLoca",
                      {text("CDPRATOL", 10), text("CDFILAUXPRATL", 4), text("CDPRODUTOL", 10), text("NMPRODUTOL", 50),
                       text("SGUNIDPRODL", 10), real("QTBRUTPRODL"), real("VRCUSTPRODL"), text("CDARVL", 20)});
    cdsPratoServ =
        clientDataSet(f, "cdsPratoServ",
                      {text("CDPRATOS", 10), text("CDFILAUXPRATS", 4), text("NMPRODUTOS", 50), text("CDPRODUTOS", 10),
                       text("SGUNIDPRODS", 10), real("QTBRUTPRODS"), real("VRCUSTPRODS"), text("CDARVS", 20)});
    cdsRecPLCent = clientDataSet(f, "cdsRecPLCent",
                                 {text("CDFILIALL", 4), text("CDFILAUXPRAT", 4), text("CDPRATO", 10),
                                  text("NMPRATO", 40), real("VRCUSTPRATP"), real("VRCUSTPRATL"), text("NMFILIAL", 30)});

    dtsRelatRecPaLo = AddComponent<TDataSource>("dtsRelatRecPaLo", cdsReceitaPadLoc);
    dtsRelatRecPaSe = AddComponent<TDataSource>("dtsRelatRecPaSe", cdsReceitaPadSer);
    dtsRecPLCent = AddComponent<TDataSource>("dtsRecPLCent", cdsRecPLCent);
}

void TfrmRelatPrato::createConnections() {
    // Failures come back as results.
    netCustProd = AddComponent<TNetConnection>("netCustProd", "CUS00000.rdmCustProd");
    netCustProd->ThrowException = false;
    netEmissaoReceita = AddComponent<TNetConnection>("netEmissaoReceita", "PLA01303.rdmEmissaoReceitas");
    netEmissaoReceita->ThrowException = false;
}

void TfrmRelatPrato::addMessages() {
    // In stored order. The base form may already hold its own report-handling keys; a key is
    // added once.
    static const std::pair<const char*, const char*> kMessages[] = {
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
    for (const auto& [key, message] : kMessages)
        if (!msgPadrao->Has(key)) msgPadrao->Add(key, message);
}

}  // namespace pla013
