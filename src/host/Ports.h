#pragma once
// Ports: what the host framework needs from the outside world. The host
// application implements them and installs them with host::Install before it
// calls the module. Each is a pure interface.

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "DataPacket.h"
#include "Variant.h"

namespace pla013::host {

class TControl;
class TForm;
class TDataSet;
class TfrmDadosGerRel;

// The dish-code picture: accumulated code length at each level, e.g. {1, 2, 5}.
struct DishPicture {
    std::vector<int> levels;
};

// A2: the host's working context.
class IHostContext {
public:
    virtual ~IHostContext();
    virtual std::string FiliProc() = 0;
    virtual bool ModuFili() = 0;
    virtual char ModuloAtiv() = 0;
    virtual TDateTime DataProc(const std::string& branch) = 0;
    virtual std::string Operador() = 0;
    virtual std::string WebURL() = 0;
    virtual int WebPort() = 0;
    virtual DishPicture DishCodePicture() = 0;
    virtual std::string ReportFolder() = 0;
};

// SQL texts of one query, one per dialect; empty when the dialect has none.
struct SqlTexts {
    std::string generic, oracle, sqlServer, interBase;
};

struct QueryRequest {
    std::string name;  // component name, for error messages
    SqlTexts sql;
    std::vector<std::pair<std::string, Variant>> params;  // name without ':'
    // Texts longer than this many characters are cut to it as they are read
    // from the database, so that a huge value is never held whole; 0: none
    // is cut. The fields named in wholeTexts (photos) are never cut.
    std::size_t maxTextLength = 0;
    std::vector<std::string> wholeTexts;
};

// The catering database. Runs the text of its engine's dialect with every
// parameter bound by name; errors are EHostError naming the query.
// Rows of a query handed one at a time (IDatabase::Read).
class IRowCursor {
public:
    virtual ~IRowCursor();
    // The fields every row has, in order.
    virtual const std::vector<FieldDef>& fields() const = 0;
    // Puts the next row's values in row (one per field); false after the last.
    virtual bool next(std::vector<Variant>& row) = 0;
};

class IDatabase {
public:
    virtual ~IDatabase();
    virtual DataPacket Open(const QueryRequest& request) = 0;
    // Runs the request as Open does and hands its rows as the engine reads
    // them, in batches, so that a result larger than memory can be read: the
    // cursor is read inside the RunReadOnly call it was made in, and not
    // after. The default reads the whole result with Open first: it suits
    // adapters whose rows are held anyway.
    virtual std::unique_ptr<IRowCursor> Read(const QueryRequest& request);
    // Runs work with this connection refusing every change to the database
    // (writes, schema changes, attaching files, engine settings), and lifts
    // that state when work ends, also when it throws. The statements of a
    // report definition run inside it, so that a definition can only read.
    // The default runs work as it is: it suits adapters that have nothing to
    // change (fixed packets, recordings); an adapter over a writable engine
    // overrides it.
    virtual void RunReadOnly(const std::function<void()>& work);
};

// One positional argument of a late-bound application-server call.
struct CallArg {
    enum class Kind { TextByValue, TextByRef, Int32, Date };
    Kind kind;
    Variant value;
};

// Transport of TNetConnection. Errors are EHostError with the call named;
// a dead or slow server fails within a bounded time.
class INetTransport {
public:
    virtual ~INetTransport();
    // Checks that a server answers at host:port.
    virtual void Connect(const std::string& host, int port) = 0;
    virtual Variant Call(const std::string& host, int port, const std::string& serverName, const std::string& method,
                         const std::vector<CallArg>& args) = 0;
};

enum class Cursor { Default, HourGlass };

// What a single-selection search dialog lists.
struct SearchRequest {
    std::string title;
    std::string emptyText;               // shown when the data set has no row
    std::vector<std::string> keyFields;  // fields shown, key first
};

// The user's side: messages, dialogs, focus and presentation.
class IUserInterface {
public:
    virtual ~IUserInterface();
    virtual void ShowError(const std::string& text) = 0;
    virtual void ShowMessage(const std::string& text) = 0;
    virtual void FocusMoved(TControl& control) = 0;
    // Single-selection list over data (open, positioned on its first row);
    // returns the chosen row number, or nothing when cancelled.
    virtual std::optional<std::size_t> SearchDialog(const SearchRequest& request, TDataSet& data) = 0;
    // Multi-selection list; returns the chosen keys, or nothing when cancelled.
    virtual std::optional<std::vector<std::string>> ListDialog(const std::string& caption, TDataSet& data,
                                                               const std::string& keyField) = 0;
    virtual void ShowProgress(const std::string& text) = 0;
    virtual void HideProgress() = 0;
    virtual void SetCursor(Cursor cursor) = 0;
    // Shows a form as a child of the main window; returns at once.
    virtual void ShowChild(TForm& form) = 0;
    // Shows a form modally; returns when it has been closed.
    virtual void ShowModal(TForm& form) = 0;
    // Where a report is saved; nothing when the user cancels.
    virtual std::optional<std::string> AskSaveFileName(const std::string& suggested) = 0;
    // Diagnostics that are not messages to the user.
    virtual void Log(const std::string& text) = 0;
};

enum class ReportTarget { Printer, Preview, File };

// Runs a report definition for a form: builds the declared parameters, calls
// the form's report dialog back for their values, opens the data and renders.
class IReportRunner {
public:
    virtual ~IReportRunner();
    virtual void Run(TfrmDadosGerRel& form, const std::string& definitionFile, ReportTarget target,
                     const std::string& fileName) = 0;
    // Code and title of every definition of a family in the report folder, by code.
    virtual std::vector<std::pair<std::string, std::string>> ListReports(const std::string& family) = 0;
};

struct Ports {
    IHostContext* context = nullptr;
    IDatabase* database = nullptr;
    INetTransport* transport = nullptr;
    IUserInterface* ui = nullptr;
    IReportRunner* reports = nullptr;
};

// Installed once by the host before the module runs.
void Install(const Ports& ports);
const Ports& InstalledPorts();
IHostContext& Context();
IDatabase& Database();
INetTransport& Transport();
IUserInterface& UI();
IReportRunner& Reports();

}  // namespace pla013::host
