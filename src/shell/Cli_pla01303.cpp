#include "shell/Cli_pla01303.h"

#include "form/TfrmRelatPrato.h"
#include "host/Errors.h"
#include "host/Form.h"
#include "host/Utils.h"

namespace pla013 {

bool FormCriado = false;
TfrmRelatPrato* frmRelatPrato = nullptr;

void CriaRelatPrato(char mode, const std::string& branch) {
    using namespace host;
    if (!FormCriado) {
        frmRelatPrato = Application().CreateForm<TfrmRelatPrato>();
        FormCriado = true;
        frmRelatPrato->FCdFilial = branch.substr(0, 4);
        if (mode == 'S') {
            frmRelatPrato->SetCaption(frmRelatPrato->msgPadrao->Msg("EMISSAO"));
            frmRelatPrato->SetBorderStyle(TBorderStyle::bsSingle);
            auto icons = frmRelatPrato->BorderIcons();
            icons.erase(TBorderIcon::biMaximize);
            frmRelatPrato->SetBorderIcons(icons);
            frmRelatPrato->SetFormStyle(TFormStyle::fsMDIChild);  // shows it
            frmRelatPrato->Show();
        } else {
            frmRelatPrato->SetCaption(frmRelatPrato->msgPadrao->Msg("PRATO"));
            frmRelatPrato->SetVisible(false);
            frmRelatPrato->SetBorderStyle(TBorderStyle::bsDialog);
            auto icons = frmRelatPrato->BorderIcons();
            icons.insert(TBorderIcon::biMaximize);
            frmRelatPrato->SetBorderIcons(icons);
            frmRelatPrato->ShowModal();
        }
        return;
    }
    if (mode == 'S') frmRelatPrato->Show();
}

void IniProc(const host::Variant& argument) {
    const host::Variant copy = argument;
    if (copy.isNull()) {
        CriaRelatPrato('S', host::FiliProc());
        return;
    }
    // Anything but an array (an unassigned variant included) is a variant error.
    const host::Variant& first = copy.at(0);
    CriaRelatPrato('N', first.toString());
}

void Cli_pla01303_Initialization() {
    FormCriado = false;
    frmRelatPrato = nullptr;
}

void Cli_pla01303_Finalization() {}

}  // namespace pla013
