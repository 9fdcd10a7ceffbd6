#pragma once
#include <string>

#include "host/Ports.h"
#include "platform/runtime/HostOptions.h"

namespace pla013::runtime {

// The working context the host gives the module, from its options. The dish
// code picture is read from the catering database once, at start.
class HostContext : public host::IHostContext {
public:
    HostContext(const HostOptions& options, host::DishPicture picture, std::string serverHost, int serverPort);
    ~HostContext() override;

    std::string FiliProc() override { return m_options.branch; }
    bool ModuFili() override { return m_options.singleBranch; }
    char ModuloAtiv() override { return m_options.module; }
    host::TDateTime DataProc(const std::string& branch) override;
    std::string Operador() override { return m_options.operatorCode; }
    std::string WebURL() override { return m_serverHost; }
    int WebPort() override { return m_serverPort; }
    host::DishPicture DishCodePicture() override { return m_picture; }
    std::string ReportFolder() override { return m_reportFolder; }

    HostOptions& options() { return m_options; }

    // Reads the dish-code picture (accumulated length per level) from the database.
    static host::DishPicture loadDishPicture(host::IDatabase& db);

private:
    HostOptions m_options;
    host::DishPicture m_picture;
    std::string m_serverHost;
    int m_serverPort;
    std::string m_reportFolder;
};

}  // namespace pla013::runtime
