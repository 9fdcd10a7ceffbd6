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
    host::TDateTime dataProc = host::EncodeDate(2024, 3, 15);
    host::TDateTime dtInicial = 0, dtFinal = 0;
    std::string cdCentral, nmCentral, cdTpCard, nmTpCard;
    std::string listaFilial, listaServico;  // texts of the list dialogs, "T" for all
    int position = 0;
};

inline void bindLikeTheForm(host::TParams& params, const FormChoices& c) {
    auto set = [&](const char* name, auto&& apply) {
        if (host::TParam* p = params.FindParam(name)) apply(*p);
    };
    const bool padrao = c.origin == 'P';
    const std::string filial = padrao ? c.fCdFilial : c.cdFilial;
    set("P_CDFILAUXPRAT", [&](host::TParam& p) { p.SetAsString(padrao ? "P" : c.cdFilial); });
    set("P_CDFILIAL", [&](host::TParam& p) { p.SetAsString(filial); });
    set("P_CDSERVFILI", [&](host::TParam& p) { p.SetAsString(c.origin == 'S' ? c.cdServFili : "XXXXX"); });
    set("P_CDFILIPROC", [&](host::TParam& p) { p.SetAsString(filial); });
    set("P_LISTAFILI", [&](host::TParam& p) { p.SetAsString(c.listaFilial); });
    set("P_PRATOINICIAL", [&](host::TParam& p) { p.SetAsString(c.pratoIni); });
    set("P_PRATOFINAL", [&](host::TParam& p) { p.SetAsString(c.pratoFin); });
    const std::string finalBound = c.pratoFin + std::string(c.pratoFin.size() < 10 ? 10 - c.pratoFin.size() : 0, 'Z');
    set("P_CDPRATOINIC", [&](host::TParam& p) { p.SetAsString(c.pratoIni); });
    set("P_CDPRATOFINA", [&](host::TParam& p) { p.SetAsString(finalBound); });
    host::TDBPicture picture(c.picture);
    set("P_MAXNIVEL", [&](host::TParam& p) { p.SetAsInteger(picture.GetTtNiveis()); });
    set("P_NIVEL", [&](host::TParam& p) {
        p.SetAsInteger(picture.TamAcNivel(std::to_string(c.ordena == 0 ? picture.GetTtNiveis() : c.nivel)));
    });
    set("P_ORDENA", [&](host::TParam& p) { p.SetAsInteger(c.ordena); });
    if (c.origin == 'P' || c.origin == 'F' || c.origin == 'S')
        set("P_IDTIPORECE", [&](host::TParam& p) { p.SetAsString(std::string(1, c.origin)); });
    auto flag = [](bool b) { return std::string(b ? "S" : "N"); };
    set("P_IDRECEITA", [&](host::TParam& p) { p.SetAsString(flag(c.produto)); });
    set("P_IDPREPARO", [&](host::TParam& p) { p.SetAsString(flag(c.modPrep)); });
    set("P_IDFOTO", [&](host::TParam& p) { p.SetAsString(flag(c.foto)); });
    set("P_IDNUTRIENTE", [&](host::TParam& p) { p.SetAsString(flag(c.nutriente)); });
    set("P_NRTIPOCUST", [&](host::TParam& p) { p.SetAsInteger(c.nrTipoCust); });
    set("P_DTREFERENCIA", [&](host::TParam& p) { p.SetAsDateTime(c.dataProc); });
    set("P_DTINICIAL", [&](host::TParam& p) { p.SetAsDate(c.dtInicial); });
    set("P_DTFINAL", [&](host::TParam& p) { p.SetAsDate(c.dtFinal); });
    set("P_DATAINICIAL", [&](host::TParam& p) { p.SetAsString(host::FormatDateTime("dd/mm/yyyy", c.dtInicial)); });
    set("P_DATAFINAL", [&](host::TParam& p) { p.SetAsString(host::FormatDateTime("dd/mm/yyyy", c.dtFinal)); });
    set("P_CDFILCENTPME", [&](host::TParam& p) { p.SetAsString(c.cdCentral); });
    set("P_CDTIPOCARD", [&](host::TParam& p) { p.SetAsString(c.cdTpCard); });
    set("P_NMFILCENTPME", [&](host::TParam& p) { p.SetAsString(c.nmCentral); });
    set("P_NMTIPOCARD", [&](host::TParam& p) { p.SetAsString(c.nmTpCard); });
    if (c.position == 8) {
        set("P_CDFILIAL", [&](host::TParam& p) { p.SetAsString(c.listaFilial); });
        set("P_TCDFILIAL", [&](host::TParam& p) { p.SetAsString(c.listaFilial); });
        set("P_CDFILISERV", [&](host::TParam& p) { p.SetAsString(c.listaServico); });
        set("P_TCDFILISERV", [&](host::TParam& p) { p.SetAsString(c.listaServico); });
    }
}

}  // namespace reportstest
