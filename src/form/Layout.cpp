// The dish report form as designed, and its controls: the constructor runs
// the steps of this file and of LayoutData.cpp in the designed order. Nothing
// here reaches a port; events are bound last, so that setting the designed
// state (checked buttons, chosen items) runs no handler.

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
    // The order of creation is the designed order: tab order, the host's
    // dumps and the component lists all follow it.
    createFormFrame();
    createCostType();
    createOrigin();
    createFilterPages();
    createDishRange();
    createOrdering();
    createPrintOptions();
    createMenuDates();
    createBranchAndServiceQueries();
    createDishAndCentralQueries();
    createMenuTypeAndServiceListQueries();
    linkSearchButtons();
    createComparisonDataSets();
    createConnections();
    addMessages();
    bindEvents();
}

void TfrmRelatPrato::createFormFrame() {
    SetCaption("Prato");
    SetBorderStyle(TBorderStyle::bsSingle);
    SetClientSize(434, 414);
    HelpFile = "Plahelp.hlp";
    SetHelpContext(12301303);

    // The inherited frame: the base form lays it out; these are this form's values.
    lblCodTela->SetCaption("PLA01303");
    lblCodRel->SetCaption("PLA013");
    grbDadosRel->SetBounds(grbDadosRel->Left(), grbDadosRel->Top(), 434, 387);
    cbbReportNames->SetWidth(367);
}

void TfrmRelatPrato::createCostType() {
    auto& f = *this;
    TControl* frame = grbDadosRel;

    grbTipoCust = group(f, frame, "grbTipoCust", "", 1, 4, 44, 426, 39);
    Label1 = label(f, grbTipoCust, "Label1", "Tipo de Custo", 8, 16, 68);
    cbbTipoCust = place<TComboBox>(f, grbTipoCust, "cbbTipoCust", 84, 12, 240, kEditHeight);
    cbbTipoCust->SetDropDownList(true);
    cbbTipoCust->SetColor(TColor::clInfoBk);
    cbbTipoCust->SetTabOrder(0);
}

void TfrmRelatPrato::createOrigin() {
    auto& f = *this;
    TControl* frame = grbDadosRel;

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
}

void TfrmRelatPrato::createFilterPages() {
    auto& f = *this;

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
}

void TfrmRelatPrato::createDishRange() {
    auto& f = *this;
    TControl* frame = grbDadosRel;

    // No mask until the dish-code picture is known.
    grbDestino = group(f, frame, "grbDestino", "Prato", 3, 4, 190, 426, 68);
    lblPratoIni = label(f, grbDestino, "lblPratoIni", "de", 8, 20, 20);
    medCdPratoIni = codeEdit(f, grbDestino, "medCdPratoIni", nullptr, 0, 0, 32, 16, 90);
    btnCdPratoIni = searchButton(f, grbDestino, "btnCdPratoIni", "Prato", 1, 124, 16);
    edtNmPratoIni = displayEdit(f, grbDestino, "edtNmPratoIni", 2, 147, 16, 266);
    lblPratoFin = label(f, grbDestino, "lblPratoFin", "até", 8, 45, 20);
    medCdPratoFin = codeEdit(f, grbDestino, "medCdPratoFin", nullptr, 0, 3, 32, 41, 90);
    btnProdFin = searchButton(f, grbDestino, "btnProdFin", "Prato", 4, 124, 41);
    edtNmPratoFin = displayEdit(f, grbDestino, "edtNmPratoFin", 5, 147, 41, 266);
}

void TfrmRelatPrato::createOrdering() {
    auto& f = *this;
    TControl* frame = grbDadosRel;

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
}

void TfrmRelatPrato::createPrintOptions() {
    auto& f = *this;
    TControl* frame = grbDadosRel;

    grbImprimir = group(f, frame, "grbImprimir", "Imprimir", 6, 4, 299, 426, 38);
    chbProduto = checkBox(f, grbImprimir, "chbProduto", "Produtos", 0, 8, 15, 72);
    chbModPrep = checkBox(f, grbImprimir, "chbModPrep", "Modo de Preparo", 1, 90, 15, 112);
    chbFoto = checkBox(f, grbImprimir, "chbFoto", "Foto", 2, 214, 15, 50);
    chbNutriente = checkBox(f, grbImprimir, "chbNutriente", "Nutrientes", 3, 276, 15, 80);
}

void TfrmRelatPrato::createMenuDates() {
    auto& f = *this;
    TControl* frame = grbDadosRel;

    // Each date with its weekday beside it.
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
}

void TfrmRelatPrato::bindEvents() {
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
