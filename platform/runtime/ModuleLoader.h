#pragma once
#include <string>

#include "host/ModuleAbi.h"
#include "host/Variant.h"

namespace pla013::runtime {

// Loads the report module with dlopen, runs its package hooks and calls its
// entry points. Forms the module created are destroyed before it is unloaded.
class ModuleLoader {
public:
    explicit ModuleLoader(const std::string& path = defaultPath());
    ~ModuleLoader();
    ModuleLoader(const ModuleLoader&) = delete;
    ModuleLoader& operator=(const ModuleLoader&) = delete;

    struct Result {
        int status = host::msOk;
        std::string error;
    };
    Result iniProc(const host::Variant& argument);
    Result criaRelatPrato(char mode, const std::string& branch);
    bool formCriado() const;
    const host::PackageInfoTable& packageInfo() const;

    static std::string defaultPath();

private:
    void* m_handle = nullptr;
    host::IniProcFn m_iniProc = nullptr;
    host::CriaRelatPratoFn m_cria = nullptr;
    host::PackageHookFn m_initialize = nullptr;
    host::PackageHookFn m_finalize = nullptr;
    host::GetPackageInfoTableFn m_info = nullptr;
    host::GetFormCriadoFn m_formCriado = nullptr;
};

}  // namespace pla013::runtime
