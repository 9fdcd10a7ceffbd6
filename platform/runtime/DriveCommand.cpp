#include "platform/runtime/DriveCommand.h"

#include <cstdlib>
#include <memory>
#include <thread>

#include "host/Errors.h"
#include "platform/reports/ReportRunner.h"
#include "platform/runtime/DriverReportRunner.h"
#include "platform/runtime/HostSession.h"
#include "platform/runtime/ModuleLoader.h"
#include "platform/script/DriverUi.h"
#include "platform/script/EventWriter.h"
#include "platform/script/FormDriver.h"
#include "platform/script/LineQueue.h"

namespace pla013::runtime {

namespace {

std::string trimmed(const std::string& line) {
    const auto b = line.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    return line.substr(b, line.find_last_not_of(" \t\r") - b + 1);
}

}  // namespace

int driveCommand(const HostOptions& options, const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                 std::ostream& err) {
    if (args.size() != 1) {
        err << "usage: pla013 [context options] drive\n";
        return 2;
    }
    pla013::script::EventWriter events(out);
    pla013::script::LineQueue input;
    pla013::script::DriverUi ui(events, input, err);

    HostSession::Hooks hooks;
    hooks.serverLog = [&err](const std::string& line) { err << line << '\n'; };
    if (const char* token = std::getenv("PLA013_SESSION_TOKEN")) hooks.sessionToken = token;
    std::unique_ptr<HostSession> session;
    try {
        session = std::make_unique<HostSession>(options, ui, hooks);
    } catch (const std::exception& e) {
        ui.fatal(e.what());
        err << "error: " << e.what() << '\n';
        return 1;
    }
    DriverReportRunner reports(session->reports(), ui);
    reports.install();
    ModuleLoader module;

    pla013::script::ScriptHost host;
    host.launch = [&module, &ui](const host::Variant& argument) {
        const auto r = module.iniProc(argument);
        if (r.status == host::msError || r.status == host::msVariantError) ui.ShowError(r.error);
        if (r.status == host::msAbort) ui.emit("abort");
    };
    host.formCriado = [&module] { return module.formCriado(); };
    host.lastReportParams = [&session] { return session->reports().lastParamLines(); };
    pla013::script::FormDriver driver(ui, host, input);

    // Lines are read here while the form's thread works: a cancel reaches a
    // running report at once; everything else waits its turn.
    std::thread reader([&in, &input, &reports] {
        std::string line;
        while (std::getline(in, line)) {
            if (trimmed(line) == "cancel")
                reports.cancel();
            else
                input.push(line);
        }
        input.close();
    });
    driver.serve();
    // serve() returns only once the input has ended.
    reader.join();
    return 0;
}

}  // namespace pla013::runtime
