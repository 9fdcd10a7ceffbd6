// The package: exported entry points and the loader's hooks.

#include <cstring>
#include <exception>
#include <string>

#include "host/Errors.h"
#include "host/ModuleAbi.h"
#include "shell/Cli_pla01303.h"

#define PLA013_EXPORT __attribute__((visibility("default")))

namespace {

void PKG_PLA01303_Initialization() {}
void PKG_PLA01303_Finalization() {}

const pla013::host::PackageUnitInfo g_units[] = {
    {"PKG_PLA01303", &PKG_PLA01303_Initialization, &PKG_PLA01303_Finalization},
    {"Cli_pla01303", &pla013::Cli_pla01303_Initialization, &pla013::Cli_pla01303_Finalization},
};
const pla013::host::PackageInfoTable g_table = {int(sizeof g_units / sizeof g_units[0]), g_units};

void copyError(const std::string& text, char* error, std::size_t size) {
    if (!error || size == 0) return;
    std::size_t n = std::min(text.size(), size - 1);
    std::memcpy(error, text.data(), n);
    error[n] = '\0';
}

// Runs body and turns every exception into a status: nothing crosses the boundary.
template <class F>
int guarded(F&& body, char* error, std::size_t size) {
    copyError({}, error, size);
    try {
        body();
        return pla013::host::msOk;
    } catch (const pla013::host::EAbort&) {
        return pla013::host::msAbort;
    } catch (const pla013::host::EVariantError& e) {
        copyError(e.what(), error, size);
        return pla013::host::msVariantError;
    } catch (const std::exception& e) {
        copyError(e.what(), error, size);
        return pla013::host::msError;
    } catch (...) {
        copyError("Falha desconhecida no módulo.", error, size);
        return pla013::host::msError;
    }
}

}  // namespace

extern "C" {

PLA013_EXPORT int IniProc(const pla013::host::Variant* argument, char* error, std::size_t errorSize) {
    return guarded(
        [&] {
            if (!argument) throw pla013::host::EVariantError("IniProc: nenhum argumento foi informado.");
            pla013::IniProc(*argument);
        },
        error, errorSize);
}

PLA013_EXPORT int CriaRelatPrato(char mode, const char* branch, char* error, std::size_t errorSize) {
    return guarded([&] { pla013::CriaRelatPrato(mode, branch ? branch : ""); }, error, errorSize);
}

PLA013_EXPORT void Initialize() {
    for (const auto& unit : g_units) unit.initialization();
}

PLA013_EXPORT void Finalize() {
    for (int i = g_table.unitCount - 1; i >= 0; --i) g_units[i].finalization();
}

PLA013_EXPORT const pla013::host::PackageInfoTable* GetPackageInfoTable() { return &g_table; }

PLA013_EXPORT bool GetFormCriado() { return pla013::FormCriado; }

}  // extern "C"
