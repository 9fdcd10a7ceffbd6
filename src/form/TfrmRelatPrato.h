#pragma once
// The dish report form: filters of the PLA013 report family over the host's
// generic report form. Layout.cpp and LayoutData.cpp build every component;
// the handlers and validation methods live beside the behaviour they implement.

#include <string>
#include <utility>
#include <vector>

#include "host/BaseForm.h"
#include "host/Controls.h"
#include "host/Data.h"
#include "host/Form.h"
#include "host/NetConnection.h"

namespace pla013 {

class TfrmRelatPrato : public host::TfrmDadosGerRel {
public:
    // Builds every control, query, data set, connection and message of the
    // form and binds the events. Touches no port: no database, no server.
    TfrmRelatPrato();
    ~TfrmRelatPrato() override;

    // --- controls (owned by the form through its base) ---
    // Cost type
    host::TGroupBox* grbTipoCust;
    host::TLabel* Label1;
    host::TComboBox* cbbTipoCust;

    // Recipe origin and the filter notebook
    host::TGroupBox* grbTpRece;
    host::TRadioButton* rdbPadrao;
    host::TRadioButton* rdbTipo;
    host::TRadioButton* rdbLocal;
    host::TRadioButton* rdbServico;
    host::TNotebook* nbkFiltroFili;
    host::TPage* pagPadrao;
    host::TPage* pagTipoCard;
    host::TPage* pagListaFilial;
    host::TPage* pagListaFilialEServico;

    // Page "Padrão": branch and service codes
    host::TLabel* lblCdFilial;
    host::TMaskEdit* medCdFilial;
    host::TBtnPesquisa* btnFilial;
    host::TEdit* edtNmFilial;
    host::TLabel* lblCdServico;
    host::TMaskEdit* medCdServFili;
    host::TBtnPesquisa* btnServico;
    host::TEdit* edtNmServico;

    // Page "TipoCard": central kitchen and menu type
    host::TLabel* lblCdCentral;
    host::TMaskEdit* medCdCentral;
    host::TBtnPesquisa* btnCentral;
    host::TEdit* edtNmCentral;
    host::TLabel* lblCdTipo;
    host::TMaskEdit* medCdTpCard;
    host::TBtnPesquisa* btpTpCard;
    host::TEdit* edtNmTpCard;

    // Page "ListaFilial": branch list
    host::TGroupBox* grbFilial;
    host::TRadioButton* rbtTodaFili;
    host::TRadioButton* rbtListFili;
    host::TBtnPesquisa* btnFilialCent;

    // Page "ListaFilialEServico": branch list and service list
    host::TGroupBox* grbFilialLista;
    host::TRadioButton* rbtFilialTodas;
    host::TRadioButton* rbtFilialLista;
    host::TBtnPesquisa* btnFili;
    host::TGroupBox* grbServico;
    host::TRadioButton* rdbServicoTodos;
    host::TRadioButton* rdbServicoLista;
    host::TBtnPesquisa* btnServicoLista;

    // Dish range
    host::TGroupBox* grbDestino;
    host::TLabel* lblPratoIni;
    host::TMaskEdit* medCdPratoIni;
    host::TBtnPesquisa* btnCdPratoIni;
    host::TEdit* edtNmPratoIni;
    host::TLabel* lblPratoFin;
    host::TMaskEdit* medCdPratoFin;
    host::TBtnPesquisa* btnProdFin;
    host::TEdit* edtNmPratoFin;

    // Ordering and level
    host::TRadioGroup* rdgDadosOperador;
    host::TSpinEdit* speNivel;

    // Print options
    host::TGroupBox* grbImprimir;
    host::TCheckBox* chbProduto;
    host::TCheckBox* chbModPrep;
    host::TCheckBox* chbFoto;
    host::TCheckBox* chbNutriente;

    // Menu date range
    host::TGroupBox* grbData;
    host::TLabel* lblDataInic;
    host::TDateEditPlus* depDataInic;
    host::TEdit* edtDataInic;
    host::TLabel* lblDataFina;
    host::TDateEditPlus* depDataFina;
    host::TEdit* edtDataFina;

    // --- lookup queries, their persistent fields and data sources ---
    host::TADOIBQuery* qryFilial;
    host::TField* qryFilialCDFILIAL;
    host::TField* qryFilialNMFILIAL;
    host::TADOIBQuery* qryVdFilial;
    host::TField* qryVdFilialNMFILIAL;
    host::TADOIBQuery* qryServico;
    host::TField* qryServicoCDSERVFILI;
    host::TField* qryServicoNMSERVICO;
    host::TField* qryServicoCDFILIAL;
    host::TADOIBQuery* qryVdServico;
    host::TField* qryVdServicoNMSERVICO;
    host::TADOIBQuery* qryPrato;
    host::TField* qryPratoCDPRATO;
    host::TField* qryPratoNMPRATO;
    host::TField* qryPratoCDNVPRATO;
    host::TADOIBQuery* qryCentral;  // no persistent fields: read by name
    host::TADOIBQuery* qryTipoCard;
    host::TField* qryTipoCardCDTIPOCARD;
    host::TField* qryTipoCardNMTIPOCARD;
    host::TADOIBQuery* qryServi;
    host::TField* qryServiCDFILISERV;
    host::TField* qryServiCDFILIAL;
    host::TField* qryServiCDSERVFILI;
    host::TField* qryServiNMSERVICO;

    host::TDataSource* dtsFilial__;
    host::TDataSource* dtsServico__;
    host::TDataSource* dtsPrato__;
    host::TDataSource* dtsCentral__;
    host::TDataSource* dtsTipoCard__;
    host::TDataSource* dtsServ__;

    // --- in-memory data sets of the comparison reports ---
    host::TClientDataSet* cdsReceitaPadLoc;
    host::TClientDataSet* cdsReceitaPadSer;
    host::TClientDataSet* cdsPratosRel;
    host::TClientDataSet* cdsPratosRelPS;
    host::TClientDataSet* cdsPratoPadr;
    host::TClientDataSet* cdsPratoLoca;
    host::TClientDataSet* cdsPratoServ;
    host::TClientDataSet* cdsRecPLCent;
    host::TDataSource* dtsRelatRecPaLo;
    host::TDataSource* dtsRelatRecPaSe;
    host::TDataSource* dtsRecPLCent;

    // --- application-server connections ---
    host::TNetConnection* netCustProd;
    host::TNetConnection* netEmissaoReceita;

    // --- the form's own state ---
    // Kept public so that the script host can show them (dump-form); only the
    // form's handlers write them.
    bool FPrimeiraVez = false;  // first-activation set-up still to do
    std::string FCdFilial;      // the branch this form works for, set by the launcher
    std::string FArqRelat;      // definition file of the chosen report
    std::string FListaFilial;   // chosen branches: empty, "T" (all) or a list text
    std::string FListaServico;  // chosen branch-and-service keys: empty, "T" or a list text
    std::string FCdFilialRec;   // branch sent to the server by the recipe comparisons

    // FCdFilial, FArqRelat, FListaFilial and FListaServico, for the host's dumps.
    std::vector<std::pair<std::string, host::Variant>> PublishedFields() const override;
    bool Invoke(const std::string& method, const std::vector<std::string>& args) override;

    // --- lifecycle ---
    void FormCreate(host::TObject* Sender);
    void FormActivate(host::TObject* Sender);
    void FormClose(host::TObject* Sender, host::TCloseAction& Action);

    // --- report selection ---
    void cbbReportNamesChange(host::TObject* Sender);
    void rdbPadraoClick(host::TObject* Sender);
    void rdgDadosOperadorClick(host::TObject* Sender);

    // --- branch and service codes ---
    void medCdFilialChange(host::TObject* Sender);
    void medCdFilialExit(host::TObject* Sender);
    void btnFilialBeforePesq(host::TObject* Sender, bool& Flag);
    void btnFilialAfterPesq(host::TObject* Sender);
    void medCdServFiliChange(host::TObject* Sender);
    void medCdServFiliExit(host::TObject* Sender);
    void btnServicoBeforePesq(host::TObject* Sender, bool& Flag);
    void btnServicoAfterPesq(host::TObject* Sender);
    void Vd_CdFilial(bool Obrigatorio);
    void Vd_CdServFili(bool Obrigatorio);

    // --- dish range ---
    void medCdPratoIniChange(host::TObject* Sender);
    void medCdPratoIniExit(host::TObject* Sender);
    void medCdPratoFinChange(host::TObject* Sender);
    void medCdPratoFinExit(host::TObject* Sender);
    void btnCdPratoIniBeforePesq(host::TObject* Sender, bool& Flag);
    void btnCdPratoIniAfterPesq(host::TObject* Sender);
    void btnProdFinAfterPesq(host::TObject* Sender);
    void Vd_CdPrato(host::TMaskEdit* medCodigo, host::TEdit* edtNome, bool Obrigatorio);

    // --- menu type ---
    void medCdTpCardChange(host::TObject* Sender);
    void medCdTpCardExit(host::TObject* Sender);
    void btpTpCardBeforePesq(host::TObject* Sender, bool& Flag);
    void btpTpCardAfterPesq(host::TObject* Sender);
    void Vd_TipoCard(bool Obrigatorio);

    // --- branch and service lists ---
    void rbtTodaFiliClick(host::TObject* Sender);
    void rbtListFiliClick(host::TObject* Sender);
    void rbtFilialTodasClick(host::TObject* Sender);
    void rbtFilialListaClick(host::TObject* Sender);
    void rdbServicoTodosClick(host::TObject* Sender);
    void rdbServicoListaClick(host::TObject* Sender);
    void btnFilialCentClick(host::TObject* Sender);
    void btnServicoListaClick(host::TObject* Sender);
    void Vd_FilialLista(bool Obrigatorio);
    void Vd_ServicoLista(bool Obrigatorio);

    // --- menu dates ---
    void depDataInicDateChange(host::TObject* Sender);
    void depDataInicExit(host::TObject* Sender);
    void depDataFinaDateChange(host::TObject* Sender);
    void depDataFinaExit(host::TObject* Sender);

    // --- print, preview, save-as ---
    void sbtPrintClick(host::TObject* Sender);
    void sbtPreviewClick(host::TObject* Sender);
    void sbtSalvarComoClick(host::TObject* Sender);
    void Vd_Impressao(bool Obrigatorio);
    void Vd_NrNivel();

    // --- report query parameters ---
    void rpddPadraoBeforeGetQueryParams(host::TParams& Params, bool& Flag);

    // --- recipe data from the application server ---
    void RelCompRecPL(std::string CdPratoInic, std::string CdPratoFina);
    void RelCompRecPS(std::string CdPratoInic, std::string CdPratoFina);
    void RelCRecPLCent(std::string CdPratoInic, std::string CdPratoFina);
    void netCustProdBeforeConnect(host::TObject* Sender);
    void netEmissaoReceitaBeforeConnect(host::TObject* Sender);

private:
    // The constructor's steps, in the order it runs them: controls first
    // (Layout.cpp), then the data (LayoutData.cpp), then the events. Each
    // step only creates and sets up components; none reaches a port.
    void createFormFrame();
    void createCostType();
    void createOrigin();
    void createFilterPages();  // the filter notebook under the origin and its four pages
    void createDishRange();
    void createOrdering();
    void createPrintOptions();
    void createMenuDates();
    void createBranchAndServiceQueries();
    void createDishAndCentralQueries();
    void createMenuTypeAndServiceListQueries();
    void linkSearchButtons();  // the lookup data sources and the search buttons over them
    void createComparisonDataSets();
    void createConnections();
    void addMessages();
    // Last, so that setting the designed state (checked buttons, chosen items)
    // runs no handler.
    void bindEvents();

    // The branch-list settings of the reports at positions 4 and 5.
    void AplicaListaFilial();
    // The weekday box beside a date edit follows its date.
    void MostraDiaSemana(host::TDateEditPlus* data, host::TEdit* diaSemana);
};

}  // namespace pla013
