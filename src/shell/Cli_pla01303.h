#pragma once
// The form unit's launcher: the created-once flag, the form reference and
// the two ways the host opens the dish report form.

#include <string>

#include "host/Variant.h"

namespace pla013 {

class TfrmRelatPrato;

// True from a successful creation of the form until the form closes.
extern bool FormCriado;
// The one form instance; cleared when the form is destroyed.
extern TfrmRelatPrato* frmRelatPrato;

// Creates the form once and presents it: mode "S" as a child window of the
// host's main window, any other mode as a modal dialog.
void CriaRelatPrato(char mode, const std::string& branch);
// Chooses the presentation from the host's argument: Null, or an array
// whose element 0 holds the branch code.
void IniProc(const host::Variant& argument);

// Unit hooks, run by the package loader.
void Cli_pla01303_Initialization();
void Cli_pla01303_Finalization();

}  // namespace pla013
