// Branch and service lists, and the menu date range.

#include "form/TfrmRelatPrato.h"
#include "host/Utils.h"

namespace pla013 {

using namespace host;

void TfrmRelatPrato::rbtTodaFiliClick(TObject*) {
    btnFilialCent->SetEnabled(rbtListFili->Checked());
    FListaFilial.clear();
}

void TfrmRelatPrato::rbtListFiliClick(TObject*) {
    btnFilialCent->SetEnabled(rbtListFili->Checked());
    // A list picked earlier stays, but "T" stands for all branches and is no
    // list: left in place (by the service dialog of the other page) it would
    // let "Lista" with nothing picked pass as every branch.
    if (FListaFilial == "T") FListaFilial.clear();
}

void TfrmRelatPrato::rbtFilialTodasClick(TObject*) {
    btnFili->SetEnabled(rbtFilialLista->Checked());
    FListaFilial.clear();
}

void TfrmRelatPrato::rbtFilialListaClick(TObject*) {
    FListaFilial.clear();
    btnFili->SetEnabled(rbtFilialLista->Checked());
}

void TfrmRelatPrato::rdbServicoTodosClick(TObject*) { btnServicoLista->SetEnabled(rdbServicoLista->Checked()); }

void TfrmRelatPrato::rdbServicoListaClick(TObject*) {
    FListaServico.clear();
    btnServicoLista->SetEnabled(rdbServicoLista->Checked());
}

void TfrmRelatPrato::btnFilialCentClick(TObject*) {
    FListaServico.clear();
    qryFilial->Close();
    const std::string titulo = msgPadrao->Msg("Filial") + "|" + msgPadrao->Msg("Fil_NCad");
    PesquisaLista(dtsFilial__, "CDFILIAL", titulo, false, FListaFilial);
}

void TfrmRelatPrato::btnServicoListaClick(TObject*) {
    Vd_FilialLista(true);
    if (rbtFilialTodas->Checked()) FListaFilial = "T";
    qryServi->Close();
    qryServi->ParamByName("P_CDFILIAL").SetAsString(FListaFilial);
    qryServi->Open();
    const std::string titulo = msgPadrao->Msg("Servico") + "|" + msgPadrao->Msg("Serv_cad");
    PesquisaLista(dtsServ__, "CDFILISERV", titulo, false, FListaServico);
}

void TfrmRelatPrato::Vd_FilialLista(bool) {
    if (rbtFilialLista->Checked() && EmptyString(FListaFilial)) {
        rbtFilialLista->SetFocus();
        MensErro(msgPadrao->Msg("FILI_EMPTY"), true);
    }
}

void TfrmRelatPrato::Vd_ServicoLista(bool) {
    if (rdbServicoLista->Checked() && EmptyString(FListaServico)) {
        rdbServicoLista->SetFocus();
        MensErro(msgPadrao->Msg("SERV_EMPTY"), true);
    }
}

void TfrmRelatPrato::MostraDiaSemana(TDateEditPlus* data, TEdit* diaSemana) {
    // A weekday is shown only for a date that is one: an empty or unfinished
    // date leaves the box empty.
    diaSemana->SetText(data->IsValidDate() ? FormatDateTime("ddd", data->GetDate()) : std::string());
    if (EmptyString(data->Text())) diaSemana->SetText("");
}

void TfrmRelatPrato::depDataInicDateChange(TObject*) { MostraDiaSemana(depDataInic, edtDataInic); }

void TfrmRelatPrato::depDataInicExit(TObject*) { depDataInic->CheckValidDate(); }

void TfrmRelatPrato::depDataFinaDateChange(TObject*) { MostraDiaSemana(depDataFina, edtDataFina); }

void TfrmRelatPrato::depDataFinaExit(TObject*) { depDataFina->CheckValidDate(); }

}  // namespace pla013
