// The dish report form as designed: controls, lookup queries, in-memory data
// sets, server connections and the message table. Nothing here reaches a
// port; events are bound last, so that setting the designed state (checked
// buttons, chosen items) runs no handler.

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "form/TfrmRelatPrato.h"
#include "shell/Cli_pla01303.h"

namespace pla013 {

using namespace host;

namespace {

// Geometry is in pixels at 96 dpi, relative to the parent's client area.
constexpr int kEditHeight = 21;
constexpr int kLabelHeight = 13;
constexpr int kOptionHeight = 17;
constexpr int kSearchSize = 21;

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

template <class T>
T* place(TfrmRelatPrato& f, TControl* parent, const char* name, int left, int top, int width, int height) {
    T* c = f.AddControl<T>(parent, name);
    c->SetBounds(left, top, width, height);
    return c;
}

TLabel* label(TfrmRelatPrato& f, TControl* parent, const char* name, const char* caption, int left, int top,
              int width) {
    auto* l = place<TLabel>(f, parent, name, left, top, width, kLabelHeight);
    l->SetCaption(caption);
    return l;
}

// A field the user types a code into.
TMaskEdit* codeEdit(TfrmRelatPrato& f, TControl* parent, const char* name, const char* mask, int maxLength,
                    int tabOrder, int left, int top, int width) {
    auto* e = place<TMaskEdit>(f, parent, name, left, top, width, kEditHeight);
    if (mask) e->SetEditMask(mask);
    if (maxLength > 0) e->SetMaxLength(maxLength);
    e->SetColor(TColor::clInfoBk);
    e->SetTabOrder(tabOrder);
    return e;
}

// A field that only shows a looked-up name (or a weekday).
TEdit* displayEdit(TfrmRelatPrato& f, TControl* parent, const char* name, int tabOrder, int left, int top, int width) {
    auto* e = place<TEdit>(f, parent, name, left, top, width, kEditHeight);
    e->SetEnabled(false);
    e->SetReadOnly(true);
    e->SetColor(TColor::clBtnFace);
    e->SetTabOrder(tabOrder);
    return e;
}

TBtnPesquisa* searchButton(TfrmRelatPrato& f, TControl* parent, const char* name, const char* title, int tabOrder,
                           int left, int top) {
    auto* b = place<TBtnPesquisa>(f, parent, name, left, top, kSearchSize, kSearchSize);
    b->Title = title;
    b->SetTabOrder(tabOrder);
    return b;
}

TRadioButton* option(TfrmRelatPrato& f, TControl* parent, const char* name, const char* caption, int tabOrder, int left,
                     int top, int width) {
    auto* r = place<TRadioButton>(f, parent, name, left, top, width, kOptionHeight);
    r->SetCaption(caption);
    r->SetTabOrder(tabOrder);
    return r;
}

TCheckBox* checkBox(TfrmRelatPrato& f, TControl* parent, const char* name, const char* caption, int tabOrder, int left,
                    int top, int width) {
    auto* c = place<TCheckBox>(f, parent, name, left, top, width, kOptionHeight);
    c->SetCaption(caption);
    c->SetTabOrder(tabOrder);
    return c;
}

TGroupBox* group(TfrmRelatPrato& f, TControl* parent, const char* name, const char* caption, int tabOrder, int left,
                 int top, int width, int height) {
    auto* g = place<TGroupBox>(f, parent, name, left, top, width, height);
    g->SetCaption(caption);
    g->SetTabOrder(tabOrder);
    return g;
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

TfrmRelatPrato::~TfrmRelatPrato() {
    // The unit's reference never outlives the form it names.
    if (frmRelatPrato == this) frmRelatPrato = nullptr;
}

bool TfrmRelatPrato::Invoke(const std::string& method, const std::vector<std::string>& args) {
    // The recipe compositions of a report run, for diagnostic scripts.
    auto arg = [&args](std::size_t i) { return i < args.size() ? args[i] : std::string(); };
    if (method == "RelCompRecPL")
        RelCompRecPL(arg(0), arg(1));
    else if (method == "RelCompRecPS")
        RelCompRecPS(arg(0), arg(1));
    else if (method == "RelCRecPLCent")
        RelCRecPLCent(arg(0), arg(1));
    else
        return false;
    return true;
}

std::vector<std::pair<std::string, Variant>> TfrmRelatPrato::PublishedFields() const {
    return {{"FCdFilial", FCdFilial},
            {"FArqRelat", FArqRelat},
            {"FListaFilial", FListaFilial},
            {"FListaServico", FListaServico}};
}

TfrmRelatPrato::TfrmRelatPrato() : TfrmDadosGerRel("frmRelatPrato") {
    auto& f = *this;

    // --- the form ---
    SetCaption("Prato");
    SetBorderStyle(TBorderStyle::bsSingle);
    SetClientSize(434, 414);
    HelpFile = "Plahelp.hlp";
    SetHelpContext(12301303);

    // --- inherited frame: the base form lays it out; these are this form's values ---
    lblCodTela->SetCaption("PLA01303");
    lblCodRel->SetCaption("PLA013");
    grbDadosRel->SetBounds(grbDadosRel->Left(), grbDadosRel->Top(), 434, 387);
    cbbReportNames->SetWidth(367);

    TControl* frame = grbDadosRel;

    // --- cost type ---
    grbTipoCust = group(f, frame, "grbTipoCust", "", 1, 4, 44, 426, 39);
    Label1 = label(f, grbTipoCust, "Label1", "Tipo de Custo", 8, 16, 68);
    cbbTipoCust = place<TComboBox>(f, grbTipoCust, "cbbTipoCust", 84, 12, 240, kEditHeight);
    cbbTipoCust->SetDropDownList(true);
    cbbTipoCust->SetColor(TColor::clInfoBk);
    cbbTipoCust->SetTabOrder(0);

    // --- recipe origin and the filter notebook ---
    grbTpRece = group(f, frame, "grbTpRece", "Origem", 2, 4, 83, 426, 107);
    // rdbLocal moves to left 185 while rdbTipo is hidden; both positions stay
    // clear of rdbPadrao and rdbServico.
    rdbPadrao = option(f, grbTpRece, "rdbPadrao", "Padrão", 0, 70, 16, 60);
    rdbPadrao->SetTag(0);
    rdbTipo = option(f, grbTpRece, "rdbTipo", "Tipo de Cardápio", 1, 133, 16, 108);
    rdbTipo->SetEnabled(false);
    rdbLocal = option(f, grbTpRece, "rdbLocal", "Local", 2, 245, 16, 55);
    rdbLocal->SetTag(1);
    rdbServico = option(f, grbTpRece, "rdbServico", "Por Serviço", 3, 305, 16, 85);
    rdbServico->SetTag(2);
    rdbPadrao->SetChecked(true);

    nbkFiltroFili = place<TNotebook>(f, grbTpRece, "nbkFiltroFili", 6, 36, 410, 65);
    nbkFiltroFili->SetTabOrder(4);
    pagPadrao = nbkFiltroFili->AddPage("Padrão", 1);
    pagTipoCard = nbkFiltroFili->AddPage("TipoCard", 0);
    pagListaFilial = nbkFiltroFili->AddPage("ListaFilial", 2);
    pagListaFilialEServico = nbkFiltroFili->AddPage("ListaFilialEServico", 3);
    for (TPage* page : {pagPadrao, pagTipoCard, pagListaFilial, pagListaFilialEServico}) page->SetBounds(0, 0, 410, 65);

    // Page "Padrão": branch and service codes.
    lblCdFilial = label(f, pagPadrao, "lblCdFilial", "Filial", 4, 8, 40);
    medCdFilial = codeEdit(f, pagPadrao, "medCdFilial", "9999;0; ", 4, 1, 60, 4, 48);
    btnFilial = searchButton(f, pagPadrao, "btnFilial", "Filial", 4, 110, 4);
    edtNmFilial = displayEdit(f, pagPadrao, "edtNmFilial", 3, 133, 4, 270);
    lblCdServico = label(f, pagPadrao, "lblCdServico", "Serviço", 4, 34, 48);
    medCdServFili = codeEdit(f, pagPadrao, "medCdServFili", "ccccc;0; ", 5, 2, 60, 30, 48);
    btnServico = searchButton(f, pagPadrao, "btnServico", "Serviço", 5, 110, 30);
    edtNmServico = displayEdit(f, pagPadrao, "edtNmServico", 0, 133, 30, 270);

    // Page "TipoCard": central kitchen and menu type.
    lblCdCentral = label(f, pagTipoCard, "lblCdCentral", "Central", 4, 8, 48);
    lblCdCentral->SetEnabled(false);
    medCdCentral = codeEdit(f, pagTipoCard, "medCdCentral", "9999;0; ", 4, 0, 60, 4, 48);
    medCdCentral->SetEnabled(false);
    medCdCentral->SetColor(TColor::clBtnFace);
    btnCentral = searchButton(f, pagTipoCard, "btnCentral", "Tipo de Cardápio", 3, 110, 4);
    btnCentral->SetEnabled(false);
    edtNmCentral = displayEdit(f, pagTipoCard, "edtNmCentral", 2, 133, 4, 270);
    lblCdTipo = label(f, pagTipoCard, "lblCdTipo", "Tp. Card.", 4, 34, 52);
    medCdTpCard = codeEdit(f, pagTipoCard, "medCdTpCard", "9999999999;0; ", 10, 1, 60, 30, 80);
    btpTpCard = searchButton(f, pagTipoCard, "btpTpCard", "Tipo de Cardápio", 5, 142, 30);
    edtNmTpCard = displayEdit(f, pagTipoCard, "edtNmTpCard", 4, 165, 30, 238);

    // Page "ListaFilial": all branches or a list.
    grbFilial = group(f, pagListaFilial, "grbFilial", "Filial", 0, 4, 2, 200, 55);
    rbtTodaFili = option(f, grbFilial, "rbtTodaFili", "Todas", 1, 8, 24, 56);
    rbtListFili = option(f, grbFilial, "rbtListFili", "Lista", 2, 70, 24, 50);
    btnFilialCent = searchButton(f, grbFilial, "btnFilialCent", "Filial", 0, 126, 22);
    btnFilialCent->SetEnabled(false);
    rbtTodaFili->SetChecked(true);

    // Page "ListaFilialEServico": branch list and service list.
    grbFilialLista = group(f, pagListaFilialEServico, "grbFilialLista", "Filial", 0, 4, 2, 198, 55);
    rbtFilialTodas = option(f, grbFilialLista, "rbtFilialTodas", "Todas", 1, 8, 24, 56);
    rbtFilialLista = option(f, grbFilialLista, "rbtFilialLista", "Lista", 2, 70, 24, 50);
    btnFili = searchButton(f, grbFilialLista, "btnFili", "Filial", 0, 126, 22);
    btnFili->SetEnabled(false);
    rbtFilialTodas->SetChecked(true);
    grbServico = group(f, pagListaFilialEServico, "grbServico", "Serviço", 1, 208, 2, 198, 55);
    rdbServicoTodos = option(f, grbServico, "rdbServicoTodos", "Todos", 0, 8, 24, 56);
    rdbServicoLista = option(f, grbServico, "rdbServicoLista", "Lista", 1, 70, 24, 50);
    btnServicoLista = searchButton(f, grbServico, "btnServicoLista", "Serviço", 2, 126, 22);
    btnServicoLista->SetEnabled(false);
    rdbServicoTodos->SetChecked(true);

    nbkFiltroFili->SetPageIndex(2);

    // --- dish range: no mask until the dish-code picture is known ---
    grbDestino = group(f, frame, "grbDestino", "Prato", 3, 4, 190, 426, 68);
    lblPratoIni = label(f, grbDestino, "lblPratoIni", "de", 8, 20, 20);
    medCdPratoIni = codeEdit(f, grbDestino, "medCdPratoIni", nullptr, 0, 0, 32, 16, 90);
    btnCdPratoIni = searchButton(f, grbDestino, "btnCdPratoIni", "Prato", 1, 124, 16);
    edtNmPratoIni = displayEdit(f, grbDestino, "edtNmPratoIni", 2, 147, 16, 266);
    lblPratoFin = label(f, grbDestino, "lblPratoFin", "até", 8, 45, 20);
    medCdPratoFin = codeEdit(f, grbDestino, "medCdPratoFin", nullptr, 0, 3, 32, 41, 90);
    btnProdFin = searchButton(f, grbDestino, "btnProdFin", "Prato", 4, 124, 41);
    edtNmPratoFin = displayEdit(f, grbDestino, "edtNmPratoFin", 5, 147, 41, 266);

    // --- ordering and level ---
    rdgDadosOperador = place<TRadioGroup>(f, frame, "rdgDadosOperador", 4, 258, 338, 40);
    rdgDadosOperador->SetCaption("Ordenação");
    rdgDadosOperador->SetColumns(2);
    rdgDadosOperador->SetItems({"Código", "Alfabética pelo Nível"});
    rdgDadosOperador->SetItemIndex(0);
    rdgDadosOperador->SetTabOrder(4);
    speNivel = place<TSpinEdit>(f, frame, "speNivel", 354, 270, 50, 22);
    speNivel->SetMinValue(0);
    speNivel->SetMaxValue(0);
    speNivel->SetValue(0);
    speNivel->SetColor(TColor::clInfoBk);
    speNivel->SetTabOrder(5);

    // --- print options ---
    grbImprimir = group(f, frame, "grbImprimir", "Imprimir", 6, 4, 299, 426, 38);
    chbProduto = checkBox(f, grbImprimir, "chbProduto", "Produtos", 0, 8, 15, 72);
    chbModPrep = checkBox(f, grbImprimir, "chbModPrep", "Modo de Preparo", 1, 90, 15, 112);
    chbFoto = checkBox(f, grbImprimir, "chbFoto", "Foto", 2, 214, 15, 50);
    chbNutriente = checkBox(f, grbImprimir, "chbNutriente", "Nutrientes", 3, 276, 15, 80);

    // --- menu dates, each with its weekday beside it ---
    grbData = group(f, frame, "grbData", "Data dos Cardápios", 7, 4, 339, 426, 44);
    const std::vector<std::string> dayNames{"Domingo", "Segunda", "Terça", "Quarta", "Quinta", "Sexta", "Sábado"};
    lblDataInic = label(f, grbData, "lblDataInic", "de", 8, 20, 20);
    depDataInic = place<TDateEditPlus>(f, grbData, "depDataInic", 32, 16, 90, kEditHeight);
    edtDataInic = displayEdit(f, grbData, "edtDataInic", 1, 124, 16, 31);
    lblDataFina = label(f, grbData, "lblDataFina", "até", 176, 20, 20);
    depDataFina = place<TDateEditPlus>(f, grbData, "depDataFina", 200, 16, 90, kEditHeight);
    edtDataFina = displayEdit(f, grbData, "edtDataFina", 3, 292, 16, 31);
    int dateTab = 0;
    for (TDateEditPlus* d : {depDataInic, depDataFina}) {
        d->DayNames = dayNames;
        d->SetColor(TColor::clInfoBk);
        d->SetTabOrder(dateTab);
        dateTab += 2;
    }

    // --- lookup queries ---
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

    dtsFilial__ = AddComponent<TDataSource>("dtsFilial__", qryFilial);
    dtsServico__ = AddComponent<TDataSource>("dtsServico__", qryServico);
    dtsPrato__ = AddComponent<TDataSource>("dtsPrato__", qryPrato);
    dtsCentral__ = AddComponent<TDataSource>("dtsCentral__", qryCentral);
    dtsTipoCard__ = AddComponent<TDataSource>("dtsTipoCard__", qryTipoCard);
    dtsServ__ = AddComponent<TDataSource>("dtsServ__", qryServi);

    // --- search buttons over the lookup queries ---
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

    // --- in-memory data sets of the comparison reports ---
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

    // --- application-server connections: failures come back as results ---
    netCustProd = AddComponent<TNetConnection>("netCustProd", "CUS00000.rdmCustProd");
    netCustProd->ThrowException = false;
    netEmissaoReceita = AddComponent<TNetConnection>("netEmissaoReceita", "PLA01303.rdmEmissaoReceitas");
    netEmissaoReceita->ThrowException = false;

    // --- message table, in stored order ---
    // The base form may already hold its own report-handling keys; a key is
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

    // --- events, bound once the designed state is in place ---
    OnCreate = [this](TObject* s) { FormCreate(s); };
    OnActivate = [this](TObject* s) { FormActivate(s); };
    OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
    cbbReportNames->OnChange = [this](TObject* s) { cbbReportNamesChange(s); };
    sbtPrint->OnClick = [this](TObject* s) { sbtPrintClick(s); };
    sbtPreview->OnClick = [this](TObject* s) { sbtPreviewClick(s); };
    sbtSalvarComo->OnClick = [this](TObject* s) { sbtSalvarComoClick(s); };
    rpddPadrao->BeforeGetQueryParams = [this](TParams& p, bool& b) { rpddPadraoBeforeGetQueryParams(p, b); };

    for (TRadioButton* origin : {rdbPadrao, rdbLocal, rdbServico})
        origin->OnClick = [this](TObject* s) { rdbPadraoClick(s); };
    rdgDadosOperador->OnClick = [this](TObject* s) { rdgDadosOperadorClick(s); };

    medCdFilial->OnChange = [this](TObject* s) { medCdFilialChange(s); };
    medCdFilial->OnExit = [this](TObject* s) { medCdFilialExit(s); };
    medCdServFili->OnChange = [this](TObject* s) { medCdServFiliChange(s); };
    medCdServFili->OnExit = [this](TObject* s) { medCdServFiliExit(s); };
    btnFilial->OnBeforePesq = [this](TObject* s, bool& b) { btnFilialBeforePesq(s, b); };
    btnFilial->OnAfterPesq = [this](TObject* s) { btnFilialAfterPesq(s); };
    btnServico->OnBeforePesq = [this](TObject* s, bool& b) { btnServicoBeforePesq(s, b); };
    btnServico->OnAfterPesq = [this](TObject* s) { btnServicoAfterPesq(s); };

    medCdPratoIni->OnChange = [this](TObject* s) { medCdPratoIniChange(s); };
    medCdPratoIni->OnExit = [this](TObject* s) { medCdPratoIniExit(s); };
    medCdPratoFin->OnChange = [this](TObject* s) { medCdPratoFinChange(s); };
    medCdPratoFin->OnExit = [this](TObject* s) { medCdPratoFinExit(s); };
    btnCdPratoIni->OnBeforePesq = [this](TObject* s, bool& b) { btnCdPratoIniBeforePesq(s, b); };
    btnCdPratoIni->OnAfterPesq = [this](TObject* s) { btnCdPratoIniAfterPesq(s); };
    btnProdFin->OnBeforePesq = [this](TObject* s, bool& b) { btnCdPratoIniBeforePesq(s, b); };
    btnProdFin->OnAfterPesq = [this](TObject* s) { btnProdFinAfterPesq(s); };

    medCdTpCard->OnChange = [this](TObject* s) { medCdTpCardChange(s); };
    medCdTpCard->OnExit = [this](TObject* s) { medCdTpCardExit(s); };
    btpTpCard->OnBeforePesq = [this](TObject* s, bool& b) { btpTpCardBeforePesq(s, b); };
    btpTpCard->OnAfterPesq = [this](TObject* s) { btpTpCardAfterPesq(s); };

    rbtTodaFili->OnClick = [this](TObject* s) { rbtTodaFiliClick(s); };
    rbtListFili->OnClick = [this](TObject* s) { rbtListFiliClick(s); };
    rbtFilialTodas->OnClick = [this](TObject* s) { rbtFilialTodasClick(s); };
    rbtFilialLista->OnClick = [this](TObject* s) { rbtFilialListaClick(s); };
    rdbServicoTodos->OnClick = [this](TObject* s) { rdbServicoTodosClick(s); };
    rdbServicoLista->OnClick = [this](TObject* s) { rdbServicoListaClick(s); };
    btnFilialCent->OnClick = [this](TObject* s) { btnFilialCentClick(s); };
    btnFili->OnClick = [this](TObject* s) { btnFilialCentClick(s); };
    btnServicoLista->OnClick = [this](TObject* s) { btnServicoListaClick(s); };

    depDataInic->OnDateChange = [this](TObject* s) { depDataInicDateChange(s); };
    depDataInic->OnExit = [this](TObject* s) { depDataInicExit(s); };
    depDataFina->OnDateChange = [this](TObject* s) { depDataFinaDateChange(s); };
    depDataFina->OnExit = [this](TObject* s) { depDataFinaExit(s); };

    netCustProd->BeforeConnect = [this](TObject* s) { netCustProdBeforeConnect(s); };
    netEmissaoReceita->BeforeConnect = [this](TObject* s) { netEmissaoReceitaBeforeConnect(s); };
}

}  // namespace pla013
