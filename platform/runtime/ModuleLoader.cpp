#include "platform/runtime/ModuleLoader.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>

#include "host/Errors.h"
#include "host/Form.h"
#include "platform/runtime/HostOptions.h"

namespace pla013::runtime {

namespace {
template <class F>
F symbol(void* handle, const char* name, const std::string& path) {
    void* s = dlsym(handle, name);
    if (!s) throw host::EHostError("O módulo " + path + " não exporta " + name + ".");
    return reinterpret_cast<F>(s);
}
}  // namespace

std::string ModuleLoader::defaultPath() {
    if (const char* e = std::getenv("PLA013_MODULE")) return e;
    namespace fs = std::filesystem;
    fs::path exe = executableDir();
    for (fs::path p : {exe / "../lib/libpla01303.so", exe / "libpla01303.so"}) {
        std::error_code ec;
        if (fs::exists(p, ec)) return p.string();
    }
    return "libpla01303.so";
}

ModuleLoader::ModuleLoader(const std::string& path) {
    m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        const char* why = dlerror();
        throw host::EHostError("Não foi possível carregar o módulo de relatórios " + path + ": " +
                               (why ? why : "erro desconhecido"));
    }
    try {
        m_iniProc = symbol<host::IniProcFn>(m_handle, "IniProc", path);
        m_cria = symbol<host::CriaRelatPratoFn>(m_handle, "CriaRelatPrato", path);
        m_initialize = symbol<host::PackageHookFn>(m_handle, "Initialize", path);
        m_finalize = symbol<host::PackageHookFn>(m_handle, "Finalize", path);
        m_info = symbol<host::GetPackageInfoTableFn>(m_handle, "GetPackageInfoTable", path);
        m_formCriado = symbol<host::GetFormCriadoFn>(m_handle, "GetFormCriado", path);
    } catch (...) {
        dlclose(m_handle);
        throw;
    }
    m_initialize();
}

ModuleLoader::~ModuleLoader() {
    // The module's forms hold code of the module: they go before it does.
    host::Application().DestroyAll();
    m_finalize();
    dlclose(m_handle);
}

ModuleLoader::Result ModuleLoader::iniProc(const host::Variant& argument) {
    char error[1024];
    Result r;
    r.status = m_iniProc(&argument, error, sizeof error);
    r.error = error;
    return r;
}

ModuleLoader::Result ModuleLoader::criaRelatPrato(char mode, const std::string& branch) {
    char error[1024];
    Result r;
    r.status = m_cria(mode, branch.c_str(), error, sizeof error);
    r.error = error;
    return r;
}

bool ModuleLoader::formCriado() const { return m_formCriado(); }

const host::PackageInfoTable& ModuleLoader::packageInfo() const { return *m_info(); }

}  // namespace pla013::runtime
