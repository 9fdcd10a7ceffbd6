#pragma once
// The values the dish report form binds to a report's parameters, written
// out for the tests: what a person at the form chose, and the binding of
// each declared name from those choices (only names the report declares are
// set, as the form does).

#include <string>

#include "host/Data.h"
#include "host/Utils.h"

namespace reportstest {

struct FormChoices {
    char origin = 'P';  // 'P' Padrão, 'F' Local, 'S' Por Serviço, 'T' Tipo de Cardápio, ' ' none
    std::string fCdFilial = "0001";
    std::string cdFilial;    // medCdFilial
    std::string cdServFili;  // medCdServFili
    std::string pratoIni, pratoFin;
    int ordena = 0;
    int nivel = 0;  // speNivel
    std::vector<int> picture{1, 2, 5};
    bool produto = false, modPrep = false, foto = false, nutriente = false;
    int nrTipoCust = 1;
    pla013::host::TDateTime dataProc = pla013::host::EncodeDate(2024, 3, 15);
    pla013::host::TDateTime dtInicial = 0, dtFinal = 0;
    std::string cdCentral, nmCentral, cdTpCard, nmTpCard;
    std::string listaFilial, listaServico;  // texts of the list dialogs, "T" for all
    int position = 0;
};

inline void bindLikeTheForm(pla013::host::TParams& params, const FormChoices& c) {
    auto set = [&](const char* name, auto&& apply) {
        if (pla013::host::TParam* p = params.FindParam(name)) apply(*p);
    };
    const bool padrao = c.origin == 'P';
    const std::string filial = padrao ? c.fCdFilial : c.cdFilial;
    set("P_CDFILAUXPRAT", [&](pla013::host::TParam& p) { p.SetAsString(padrao ? "P" : c.cdFilial); });
    set("P_CDFILIAL", [&](pla013::host::TParam& p) { p.SetAsString(filial); });
    set("P_CDSERVFILI", [&](pla013::host::TParam& p) { p.SetAsString(c.origin == 'S' ? c.cdServFili : "XXXXX"); });
    set("P_CDFILIPROC", [&](pla013::host::TParam& p) { p.SetAsString(filial); });
    set("P_LISTAFILI", [&](pla013::host::TParam& p) { p.SetAsString(c.listaFilial); });
    set("P_PRATOINICIAL", [&](pla013::host::TParam& p) { p.SetAsString(c.pratoIni); });
    set("P_PRATOFINAL", [&](pla013::host::TParam& p) { p.SetAsString(c.pratoFin); });
    const std::string finalBound = c.pratoFin + std::string(c.pratoFin.size() < 10 ? 10 - c.pratoFin.size() : 0, 'Z');
    set("P_CDPRATOINIC", [&](pla013::host::TParam& p) { p.SetAsString(c.pratoIni); });
    set("P_CDPRATOFINA", [&](pla013::host::TParam& p) { p.SetAsString(finalBound); });
    pla013::host::TDBPicture picture(c.picture);
    set("P_MAXNIVEL", [&](pla013::host::TParam& p) { p.SetAsInteger(picture.GetTtNiveis()); });
    set("P_NIVEL", [&](pla013::host::TParam& p) {
        p.SetAsInteger(picture.TamAcNivel(std::to_string(c.ordena == 0 ? picture.GetTtNiveis() : c.nivel)));
    });
    set("P_ORDENA", [&](pla013::host::TParam& p) { p.SetAsInteger(c.ordena); });
    if (c.origin == 'P' || c.origin == 'F' || c.origin == 'S')
        set("P_IDTIPORECE", [&](pla013::host::TParam& p) { p.SetAsString(std::string(1, c.origin)); });
    auto flag = [](bool b) { return std::string(b ? "S" : "N"); };
    set("P_IDRECEITA", [&](pla013::host::TParam& p) { p.SetAsString(flag(c.produto)); });
    set("P_IDPREPARO", [&](pla013::host::TParam& p) { p.SetAsString(flag(c.modPrep)); });
    set("P_IDFOTO", [&](pla013::host::TParam& p) { p.SetAsString(flag(c.foto)); });
    set("P_IDNUTRIENTE", [&](pla013::host::TParam& p) { p.SetAsString(flag(c.nutriente)); });
    set("P_NRTIPOCUST", [&](pla013::host::TParam& p) { p.SetAsInteger(c.nrTipoCust); });
    set("P_DTREFERENCIA", [&](pla013::host::TParam& p) { p.SetAsDateTime(c.dataProc); });
    set("P_DTINICIAL", [&](pla013::host::TParam& p) { p.SetAsDate(c.dtInicial); });
    set("P_DTFINAL", [&](pla013::host::TParam& p) { p.SetAsDate(c.dtFinal); });
    set("P_DATAINICIAL",
        [&](pla013::host::TParam& p) { p.SetAsString(pla013::host::FormatDateTime("dd/mm/yyyy", c.dtInicial)); });
    set("P_DATAFINAL",
        [&](pla013::host::TParam& p) { p.SetAsString(pla013::host::FormatDateTime("dd/mm/yyyy", c.dtFinal)); });
    set("P_CDFILCENTPME", [&](pla013::host::TParam& p) { p.SetAsString(c.cdCentral); });
    set("P_CDTIPOCARD", [&](pla013::host::TParam& p) { p.SetAsString(c.cdTpCard); });
    set("P_NMFILCENTPME", [&](pla013::host::TParam& p) { p.SetAsString(c.nmCentral); });
    set("P_NMTIPOCARD", [&](pla013::host::TParam& p) { p.SetAsString(c.nmTpCard); });
    if (c.position == 8) {
        set("P_CDFILIAL", [&](pla013::host::TParam& p) { p.SetAsString(c.listaFilial); });
        set("P_TCDFILIAL", [&](pla013::host::TParam& p) { p.SetAsString(c.listaFilial); });
        set("P_CDFILISERV", [&](pla013::host::TParam& p) { p.SetAsString(c.listaServico); });
        set("P_TCDFILISERV", [&](pla013::host::TParam& p) { p.SetAsString(c.listaServico); });
    }
}

}  // namespace reportstest
