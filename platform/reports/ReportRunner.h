#pragma once
// The host's report dialog: runs ".QR2" definitions for a report form.
//
// A run reads the definition from the report folder, builds the parameter
// list it declares (types and defaults), hands it to the form's
// rpddPadrao->BeforeGetQueryParams, opens the data (the definition's SQL with
// the parameters it uses, through the catering database; or a data source of
// the form), lays out the pages and sends them to the target: the preview
// sink, the default CUPS printer, or a file whose extension picks the format.
// A file is written atomically (see AtomicFile).
//
// A silent abort (host::EAbort) raised by the form's callback ends the run
// with nothing written and goes on to the caller untouched; so does a run
// stopped through its stop token (ReportCancelled, checked at every row of
// every pass and at every page or batch of rows written). Every other
// failure is a host::EHostError naming what failed.
//
// A run has two parts: prepare() is the form's (definition, target checks,
// the form's callback, the form's own data) and runs where the form lives;
// execute() reads, lays out and writes without touching the form, so a host
// may run it on another thread.

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "host/Ports.h"
#include "platform/reports/FileRenderer.h"
#include "platform/reports/ReportDocument.h"

namespace pla013::host {
class TParams;
}

namespace pla013::reports {

// What the preview target hands to the host: the pages as text.
struct PreviewPages {
    std::string reportId;  // "PLA01301"
    std::string title;
    // The laid-out report, for a host that draws the pages itself; valid
    // only during the call.
    const ReportDocument* document = nullptr;
    // The pages as text (TextRenderer), one at a time as they are laid out,
    // so that a long report is never held whole; sink returns false to stop.
    void eachPage(const std::function<bool(const std::string&)>& sink) const;
};

struct ReportRunnerOptions {
    // Where the definitions are; empty: host::Context().ReportFolder() at
    // each run. Relative photo paths of the data are read from here too.
    std::string reportFolder;
    // The catering database; null: the installed port host::Database().
    host::IDatabase* database = nullptr;
    // Receives the pages of a preview; without it a preview is an error.
    std::function<void(const PreviewPages&)> previewSink;
    // After each completed run: "report: TARGET FILE PAGES" with TARGET
    // preview, print or file and FILE the path written or "-".
    std::function<void(const std::string&)> reportLine;
    // Progress of long runs: stage ("dados", "paginas", "gravacao"), done, total.
    std::function<void(const std::string& stage, std::size_t done, std::size_t total)> progress;
    // The printed-at time; null: the local clock.
    std::function<host::TDateTime()> clock;
    // Stops the runs of Run (a signal on the command line).
    std::stop_token stop;
    // Runs the data reading so that a stop interrupts the statement running
    // (the database's own way); null: the reading stops only between steps.
    std::function<void(const std::function<void()>& read, std::stop_token stop)> stoppableRead;
    // The longest one statement of a definition may run. The database
    // enforces it (the host hands it down, e.g.
    // SociDatabase::setReadOnlyStatementTimeout) and fails the statement with
    // host::EStatementTimeout; the run then fails with a message that names
    // this limit, and the engine's text goes to the log.
    std::chrono::milliseconds statementTimeout = std::chrono::seconds(60);
};

// How one execution is followed and stopped.
struct RunControl {
    std::stop_token stop;
    std::function<void(const std::string& stage, std::size_t done, std::size_t total)> progress;
};

class ReportRunner final : public host::IReportRunner {
public:
    explicit ReportRunner(ReportRunnerOptions options = {});
    ~ReportRunner() override;

    void Run(host::TfrmDadosGerRel& form, const std::string& definitionFile, host::ReportTarget target,
             const std::string& fileName) override;
    // Every "FAMILY??.QR2" of the report folder, read and checked, by code.
    std::vector<std::pair<std::string, std::string>> ListReports(const std::string& family) override;

    // Formats by file extension (".pdf", lower case; replaces a previous one).
    // .pdf, .html, .csv, .xlsx and .txt are built in; printing sends what the
    // .pdf renderer writes.
    void registerRenderer(const std::string& extension, std::shared_ptr<FileRenderer> renderer);

    // Run in its two parts (Run is execute(prepare(...)) with the options'
    // stop token and progress). A prepared run executes once.
    class PreparedRun {
    public:
        ReportDefinition def;
        std::string reportId;
        std::string reportFolder;
        host::ReportTarget target = host::ReportTarget::Preview;
        std::string fileName;
        std::shared_ptr<FileRenderer> renderer;
        // A definition without SQL: the form's data set, read when the run executes.
        const host::TDataSet* formData = nullptr;
    };
    std::unique_ptr<PreparedRun> prepare(host::TfrmDadosGerRel& form, const std::string& definitionFile,
                                         host::ReportTarget target, const std::string& fileName);
    void execute(PreparedRun& run, const RunControl& control);

    // The parameters of the last run that reached the form's callback, as
    // they stood when it returned (or aborted): one JSON object a line with
    // the keys Param, DataType (string, integer, float, date, datetime) and
    // Value (null when unbound; dates as "YYYY-MM-DD", date-times as
    // "YYYY-MM-DD HH:MM:SS").
    std::vector<std::string> lastParamLines() const;

    struct Outcome {
        std::string target;  // preview, print, file
        std::string file;    // path or "-"
        std::size_t pages = 0;
        std::size_t rows = 0;
        std::string reportId;  // "PLA01301"
    };
    // The last completed run; nothing before the first or after a failure.
    const std::optional<Outcome>& lastOutcome() const { return m_lastOutcome; }

    // The parameter list a definition declares, with the defaults set.
    static void buildParams(const ReportDefinition& definition, host::TParams& params);

private:
    std::string folder() const;
    host::IDatabase& database() const;
    void recordParams(const ReportDefinition& def, const host::TParams& params);
    void refuseWhenAsked(const ReportDefinition& def) const;
    std::unique_ptr<RowSource> openData(const ReportDefinition& def, const std::vector<ReportParam>& params);
    std::map<std::string, host::Variant> runLookups(const ReportDefinition& def,
                                                    const std::vector<ReportParam>& params);
    std::size_t print(const ReportDocument& doc, const std::function<void(std::size_t, std::size_t)>& progress);

    ReportRunnerOptions m_options;
    std::map<std::string, std::shared_ptr<FileRenderer>> m_renderers;
    std::vector<ReportParam> m_lastParams;
    std::optional<Outcome> m_lastOutcome;
};

}  // namespace pla013::reports
