#pragma once
// Set-up shared by the printing tests: a report folder of our own whose ten
// definitions declare the query parameters we want to watch (all thirty the
// form knows, unless a test chooses fewer), catering databases adjusted for
// a case, and helpers over the script output.

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "FormHarness.h"
#include "platform/db/DatabaseInitializer.h"
#include "platform/db/SociDatabase.h"

namespace printingtest {

namespace fs = std::filesystem;

// The thirty parameter names of the form with the type a report declares
// them with, in the order of the binding table.
inline const std::vector<std::pair<std::string, std::string>>& allParameters() {
    static const std::vector<std::pair<std::string, std::string>> p = {
        {"P_CDFILAUXPRAT", "string"},   {"P_CDFILIAL", "string"},     {"P_CDSERVFILI", "string"},
        {"P_CDFILIPROC", "string"},     {"P_LISTAFILI", "string"},    {"P_PRATOINICIAL", "string"},
        {"P_PRATOFINAL", "string"},     {"P_CDPRATOINIC", "string"},  {"P_CDPRATOFINA", "string"},
        {"P_MAXNIVEL", "integer"},      {"P_NIVEL", "integer"},       {"P_ORDENA", "integer"},
        {"P_IDTIPORECE", "string"},     {"P_IDRECEITA", "string"},    {"P_IDPREPARO", "string"},
        {"P_IDFOTO", "string"},         {"P_IDNUTRIENTE", "string"},  {"P_NRTIPOCUST", "integer"},
        {"P_DTREFERENCIA", "datetime"}, {"P_DTINICIAL", "date"},      {"P_DTFINAL", "date"},
        {"P_DATAINICIAL", "string"},    {"P_DATAFINAL", "string"},    {"P_CDFILCENTPME", "string"},
        {"P_CDTIPOCARD", "string"},     {"P_NMFILCENTPME", "string"}, {"P_NMTIPOCARD", "string"},
        {"P_TCDFILIAL", "string"},      {"P_CDFILISERV", "string"},   {"P_TCDFILISERV", "string"},
    };
    return p;
}

// The report's own value of P_IDTIPORECE, kept when no origin rule sets it.
inline constexpr const char* kOwnRecipeType = "R";

inline const std::vector<std::string>& reportCodes() {
    static const std::vector<std::string> c = {"01", "02", "03", "04", "05", "06", "07", "08", "09", "0A"};
    return c;
}

// Writes the ten definitions PLA013<code>.QR2 into dir. Each reads one
// branch row and declares the parameters declared(code) names (all thirty
// when declared is empty), typed as allParameters() says.
inline void writeDefinitions(const fs::path& dir,
                             const std::function<std::vector<std::string>(const std::string&)>& declared = {}) {
    for (const auto& code : reportCodes()) {
        std::vector<std::string> names;
        if (declared)
            names = declared(code);
        else
            for (const auto& p : allParameters()) names.push_back(p.first);
        std::string params;
        for (const auto& name : names) {
            std::string type = "string";
            for (const auto& p : allParameters())
                if (p.first == name) type = p.second;
            if (!params.empty()) params += ",\n    ";
            params += "{\"name\": \"" + name + "\", \"type\": \"" + type + "\"";
            if (name == "P_IDTIPORECE") params += ", \"default\": \"" + std::string(kOwnRecipeType) + "\"";
            params += "}";
        }
        std::ofstream out(dir / ("PLA013" + code + ".QR2"));
        out << "{\n  \"version\": 1,\n  \"code\": \"" << code << "\",\n  \"title\": \"Relatório de teste " << code
            << "\",\n  \"parameters\": [\n    " << params << "\n  ],\n"
            << "  \"data\": {\"sql\": \"SELECT CDFILIAL, NMFILIAL FROM FILIAL WHERE CDFILIAL = '0001'\"},\n"
            << "  \"columns\": [{\"field\": \"CDFILIAL\", \"caption\": \"Filial\"},"
               " {\"field\": \"NMFILIAL\", \"caption\": \"Nome\"}]\n}\n";
    }
}

// A dish-code picture of four levels with accumulated lengths 1, 3, 5 and
// 10: the sample's codes of one and five characters stay valid, the level
// length differs from the level number at level 2, and ten-character codes
// exist. The spin edit's maximum becomes 4 - 2 = 2.
inline const char* kFourLevelPicture = R"(
DELETE FROM CODEPICTURE WHERE TPPICT = 'PRATO';
INSERT INTO CODEPICTURE (TPPICT, NRNIVEL, NRTAMACUM) VALUES ('PRATO', 1, 1);
INSERT INTO CODEPICTURE (TPPICT, NRNIVEL, NRTAMACUM) VALUES ('PRATO', 2, 3);
INSERT INTO CODEPICTURE (TPPICT, NRNIVEL, NRTAMACUM) VALUES ('PRATO', 3, 5);
INSERT INTO CODEPICTURE (TPPICT, NRNIVEL, NRTAMACUM) VALUES ('PRATO', 4, 10);
INSERT INTO PRATO (CDPRATO, CDFILAUXPRAT, NMPRATO, CDNVPRATO) VALUES ('300', 'P', 'Carnes', '2');
INSERT INTO PRATO (CDPRATO, CDFILAUXPRAT, NMPRATO, CDNVPRATO) VALUES ('3000100001', 'P', 'Carne de panela especial', '4');
INSERT INTO PRATO (CDPRATO, CDFILAUXPRAT, NMPRATO, CDNVPRATO) VALUES ('3000100002', '0002', 'Carne de panela da escola', '4');
)";

// A fresh copy of the sample database in dir, changed by script.
inline std::string preparedDatabase(const fs::path& dir, const std::string& script) {
    const std::string path = pla013test::copyOfSampleDatabase(dir);
    if (!script.empty()) pla013::db::openDatabase(path)->executeScript(script, "test set-up");
    return path;
}

// A host around the form with our report folder and a fixed processing date.
struct PrintHost {
    explicit PrintHost(pla013::runtime::HostOptions options = {}, const std::string& dbScript = {},
                       const std::function<std::vector<std::string>(const std::string&)>& declared = {}) {
        writeDefinitions(reports.path(), declared);
        if (options.date.empty()) options.date = "2024-08-15";
        options.reports = reports.path().string();
        if (!dbScript.empty()) options.db = preparedDatabase(data.path(), dbScript);
        harness = std::make_unique<pla013test::FormHarness>(options);
    }
    pla013test::FormHarness& operator*() { return *harness; }
    pla013test::FormHarness* operator->() { return harness.get(); }

    pla013test::TempDir reports;
    pla013test::TempDir data;
    std::unique_ptr<pla013test::FormHarness> harness;
};

// The event lines of a step's output: messages, focus moves, aborts,
// dialogs and report runs.
inline std::vector<std::string> events(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (const auto& l : lines)
        if (l.rfind("message: ", 0) == 0 || l.rfind("focus: ", 0) == 0 || l == "abort" || l.rfind("dialog: ", 0) == 0 ||
            l.rfind("report: ", 0) == 0)
            out.push_back(l);
    return out;
}

}  // namespace printingtest
