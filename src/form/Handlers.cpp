// Event handlers and validation methods of the dish report form. Each body is
// filled in with the behaviour it belongs to; until then the lifecycle and
// report-button handlers pass straight on to the base form.

#include "form/TfrmRelatPrato.h"

namespace pla013 {

using host::TObject;

// --- lifecycle ---
void TfrmRelatPrato::FormCreate(TObject* Sender) {
    TfrmDadosGerRel::FormCreate(Sender);  // data sets and central kitchen to follow
}

void TfrmRelatPrato::FormActivate(TObject* Sender) {
    TfrmDadosGerRel::FormActivate(Sender);  // first-activation set-up to follow
}

void TfrmRelatPrato::FormClose(TObject* Sender, host::TCloseAction& Action) {
    TfrmDadosGerRel::FormClose(Sender, Action);  // the base form decides the close action
}

// --- report selection ---
void TfrmRelatPrato::cbbReportNamesChange(TObject*) {}   // layout of the chosen report
void TfrmRelatPrato::rdbPadraoClick(TObject*) {}         // branch and service fields by origin
void TfrmRelatPrato::rdgDadosOperadorClick(TObject*) {}  // level by ordering

// --- branch and service codes ---
void TfrmRelatPrato::medCdFilialChange(TObject*) {}           // clears the branch name
void TfrmRelatPrato::medCdFilialExit(TObject*) {}             // validates the branch
void TfrmRelatPrato::btnFilialBeforePesq(TObject*, bool&) {}  // prepares the branch search
void TfrmRelatPrato::btnFilialAfterPesq(TObject*) {}          // writes the chosen branch
void TfrmRelatPrato::medCdServFiliChange(TObject*) {}         // clears the service name
void TfrmRelatPrato::medCdServFiliExit(TObject*) {}           // validates the service
void TfrmRelatPrato::btnServicoBeforePesq(TObject*, bool&) {} // services of the branch
void TfrmRelatPrato::btnServicoAfterPesq(TObject*) {}         // writes the chosen service
void TfrmRelatPrato::Vd_CdFilial(bool) {}                     // branch code check
void TfrmRelatPrato::Vd_CdServFili(bool) {}                   // service code check

// --- dish range ---
void TfrmRelatPrato::medCdPratoIniChange(TObject*) {}            // clears the initial dish name
void TfrmRelatPrato::medCdPratoIniExit(TObject*) {}              // validates the initial dish
void TfrmRelatPrato::medCdPratoFinChange(TObject*) {}            // clears the final dish name
void TfrmRelatPrato::medCdPratoFinExit(TObject*) {}              // validates the final dish
void TfrmRelatPrato::btnCdPratoIniBeforePesq(TObject*, bool&) {} // dishes the branch may use
void TfrmRelatPrato::btnCdPratoIniAfterPesq(TObject*) {}         // writes the initial dish
void TfrmRelatPrato::btnProdFinAfterPesq(TObject*) {}            // writes the final dish
void TfrmRelatPrato::Vd_CdPrato(host::TMaskEdit*, host::TEdit*, bool) {}  // one end of the range

// --- menu type ---
void TfrmRelatPrato::medCdTpCardChange(TObject*) {}            // clears the menu type name
void TfrmRelatPrato::medCdTpCardExit(TObject*) {}              // validates the menu type
void TfrmRelatPrato::btpTpCardBeforePesq(TObject*, bool&) {}   // menu types of the central
void TfrmRelatPrato::btpTpCardAfterPesq(TObject*) {}           // writes the chosen menu type
void TfrmRelatPrato::Vd_TipoCard(bool) {}                      // menu type code check

// --- branch and service lists ---
void TfrmRelatPrato::rbtTodaFiliClick(TObject*) {}      // all branches
void TfrmRelatPrato::rbtListFiliClick(TObject*) {}      // a branch list
void TfrmRelatPrato::rbtFilialTodasClick(TObject*) {}   // all branches (with services)
void TfrmRelatPrato::rbtFilialListaClick(TObject*) {}   // a branch list (with services)
void TfrmRelatPrato::rdbServicoTodosClick(TObject*) {}  // all services
void TfrmRelatPrato::rdbServicoListaClick(TObject*) {}  // a service list
void TfrmRelatPrato::btnFilialCentClick(TObject*) {}    // picks the branch list
void TfrmRelatPrato::btnServicoListaClick(TObject*) {}  // picks the service list
void TfrmRelatPrato::Vd_FilialLista(bool) {}            // branch list check
void TfrmRelatPrato::Vd_ServicoLista(bool) {}           // service list check

// --- menu dates ---
void TfrmRelatPrato::depDataInicDateChange(TObject*) {}  // weekday of the start date
void TfrmRelatPrato::depDataInicExit(TObject*) {}        // start date check
void TfrmRelatPrato::depDataFinaDateChange(TObject*) {}  // weekday of the end date
void TfrmRelatPrato::depDataFinaExit(TObject*) {}        // end date check

// --- print, preview, save-as ---
void TfrmRelatPrato::sbtPrintClick(TObject* Sender) {
    TfrmDadosGerRel::sbtPrintClick(Sender);  // option checks to precede it
}

void TfrmRelatPrato::sbtPreviewClick(TObject* Sender) {
    TfrmDadosGerRel::sbtPreviewClick(Sender);  // option checks to precede it
}

void TfrmRelatPrato::sbtSalvarComoClick(TObject* Sender) {
    TfrmDadosGerRel::sbtSalvarComoClick(Sender);  // option checks to precede it
}

void TfrmRelatPrato::Vd_Impressao(bool) {}  // every filter and option before a report runs
void TfrmRelatPrato::Vd_NrNivel() {}        // ordering level within the dish-code levels

// --- report query parameters ---
void TfrmRelatPrato::rpddPadraoBeforeGetQueryParams(host::TParams&, bool&) {}  // binds the P_ parameters

// --- recipe data from the application server ---
void TfrmRelatPrato::RelCompRecPL(std::string, std::string) {}   // standard beside local recipe
void TfrmRelatPrato::RelCompRecPS(std::string, std::string) {}   // standard beside service recipe
void TfrmRelatPrato::RelCRecPLCent(std::string, std::string) {}  // dish cost by central kitchen
void TfrmRelatPrato::netCustProdBeforeConnect(TObject*) {}       // server address of the cost data
void TfrmRelatPrato::netEmissaoReceitaBeforeConnect(TObject*) {} // server address of the recipe data

}  // namespace pla013
