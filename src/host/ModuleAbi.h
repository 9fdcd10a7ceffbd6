#pragma once
// The binary face of a report module loaded at run time: what the host's
// package loader finds with dlsym. No exception crosses these functions; a
// failure comes back as a status with its text in the caller's buffer.

#include <cstddef>

#include "Variant.h"

namespace pla013::host {

enum ModuleStatus : int {
    msOk = 0,
    msAbort = 1,         // the silent abort: the user has been told
    msVariantError = 2,  // the argument did not hold what the call needs
    msError = 3,         // any other failure; the text says which
};

struct PackageUnitInfo {
    const char* name;
    void (*initialization)();
    void (*finalization)();
};

struct PackageInfoTable {
    int unitCount;
    const PackageUnitInfo* units;  // in initialization order
};

using IniProcFn = int (*)(const Variant* argument, char* error, std::size_t errorSize);
using CriaRelatPratoFn = int (*)(char mode, const char* branch, char* error, std::size_t errorSize);
using PackageHookFn = void (*)();
using GetFormCriadoFn = bool (*)();  // the created-once flag, for the host's dumps
using GetPackageInfoTableFn = const PackageInfoTable* (*)();

}  // namespace pla013::host
