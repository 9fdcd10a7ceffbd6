#include "platform/reports/ReportRunner.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/BaseForm.h"
#include "host/Data.h"
#include "host/Errors.h"
#include "platform/files/AtomicFile.h"
#include "platform/reports/CsvRenderer.h"
#include "platform/reports/CupsPrinter.h"
#include "platform/reports/HtmlRenderer.h"
#include "platform/reports/PdfRenderer.h"
#include "platform/reports/TextRenderer.h"
#include "platform/reports/XlsxRenderer.h"
#include "platform/reports/internal/Evaluator.h"
#include "platform/reports/internal/ReportData.h"
#include "platform/reports/internal/ValueFormat.h"

namespace pla013::reports {

namespace fs = std::filesystem;

namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

std::string upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    return s;
}

host::FieldType fieldTypeOf(ParamType t) {
    switch (t) {
        case ParamType::String: return host::FieldType::String;
        case ParamType::Integer: return host::FieldType::Integer;
        case ParamType::Date:
        case ParamType::DateTime: return host::FieldType::Date;
    }
    return host::FieldType::String;
}

host::TDateTime isoToDateTime(const std::string& s) {
    host::TDateTime d = 0;
    host::TryIsoToDate(s.substr(0, 10), d);
    if (s.size() >= 19) {
        int h = std::stoi(s.substr(11, 2)), m = std::stoi(s.substr(14, 2)), sec = std::stoi(s.substr(17, 2));
        d += (h * 3600 + m * 60 + sec) / 86400.0;
    }
    return d;
}

// Lends a renderer the run's progress callback for one rendering.
class ProgressScope {
public:
    ProgressScope(FileRenderer& renderer, FileRenderer::Progress progress) : m_renderer(renderer) {
        m_renderer.setProgress(std::move(progress));
    }
    ~ProgressScope() { m_renderer.setProgress({}); }
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;

private:
    FileRenderer& m_renderer;
};

// The renderers name the file they write, which here is the temporary one:
// the user knows only the target.
std::string naming(std::string message, const std::string& temporary, const std::string& target) {
    for (auto at = message.find(temporary); at != std::string::npos; at = message.find(temporary, at + target.size()))
        message.replace(at, temporary.size(), target);
    return message;
}

// Renders into an unnamed file in fileName's folder and links it in only when
// complete (files::AtomicFile): a run that fails or is killed leaves the
// folder as it was. Tells the user which file failed and why, in the
// system's words when the system refused.
void renderToFile(FileRenderer& renderer, const ReportDocument& doc, const std::string& fileName) {
    std::error_code ec;
    if (fs::is_directory(fileName, ec))
        throw host::EHostError("'" + fileName + "' é uma pasta; o relatório não foi gravado.");
    try {
        files::AtomicFile file(fileName, files::AtomicFile::Existing::Replace, files::AtomicFile::Temporary::Unnamed);
        errno = 0;
        try {
            renderer.render(doc, file.tempPath());
        } catch (const host::EHostError& e) {
            // A write the system refused left its reason behind (disk full).
            const int written = errno;
            std::string message = naming(e.what(), file.tempPath(), fileName);
            if (written == ENOSPC || written == EDQUOT || written == EFBIG || written == EIO)
                message += " (" + files::AtomicFile::reasonText(written) + ")";
            throw host::EHostError(message);
        }
        file.commit();
    } catch (const files::AtomicFile::Error& e) {
        const std::string reason = e.reason();
        switch (e.step()) {
            case files::AtomicFile::Error::Step::Create:
                throw host::EHostError("Não foi possível gravar '" + fileName + "': " + reason + ".");
            case files::AtomicFile::Error::Step::Flush:
                throw host::EHostError("Erro ao gravar '" + fileName + "': " + reason + ".");
            case files::AtomicFile::Error::Step::Publish: break;
        }
        throw host::EHostError("Não foi possível substituir '" + fileName + "': " + reason + ".");
    }
}

// The file sent to the printer: a scratch file of the system's temporary
// folder, never committed, so that it goes with the object.
void renderScratch(FileRenderer& renderer, const ReportDocument& doc, const std::string& extension,
                   const std::function<void(const std::string&)>& use) {
    std::optional<files::AtomicFile> scratch;
    try {
        scratch.emplace((fs::temp_directory_path() / ("pla013-print" + extension)).string());
    } catch (const files::AtomicFile::Error&) {
        throw host::EHostError("Não foi possível criar o arquivo temporário da impressão.");
    }
    renderer.render(doc, scratch->tempPath());
    use(scratch->tempPath());
}

// "60", or "1,5" for a limit that is not whole seconds.
std::string seconds(std::chrono::milliseconds limit) {
    if (limit.count() % 1000 == 0) return std::to_string(limit.count() / 1000);
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", double(limit.count()) / 1000.0);
    std::string result = text;
    std::replace(result.begin(), result.end(), '.', ',');
    return result;
}

}  // namespace

ReportRunner::ReportRunner(ReportRunnerOptions options) : m_options(std::move(options)) {
    m_renderers[".html"] = std::make_shared<HtmlRenderer>();
    m_renderers[".htm"] = m_renderers[".html"];
    m_renderers[".csv"] = std::make_shared<CsvRenderer>();
    m_renderers[".xlsx"] = std::make_shared<XlsxRenderer>();
    m_renderers[".txt"] = std::make_shared<TextRenderer>();
    m_renderers[".pdf"] = std::make_shared<PdfRenderer>();
}

ReportRunner::~ReportRunner() = default;

void ReportRunner::registerRenderer(const std::string& extension, std::shared_ptr<FileRenderer> renderer) {
    std::string ext = lower(extension);
    if (ext.empty() || ext[0] != '.') ext = "." + ext;
    m_renderers[ext] = std::move(renderer);
}

std::string ReportRunner::folder() const {
    if (!m_options.reportFolder.empty()) return m_options.reportFolder;
    return host::Context().ReportFolder();
}

host::IDatabase& ReportRunner::database() const { return m_options.database ? *m_options.database : host::Database(); }

void ReportRunner::buildParams(const ReportDefinition& def, host::TParams& params) {
    params.Clear();
    for (const auto& p : def.parameters) {
        host::TParam& param = params.CreateParam(fieldTypeOf(p.type), p.name);
        if (!p.hasDefault) continue;
        switch (p.type) {
            case ParamType::String: param.SetAsString(p.defaultText); break;
            case ParamType::Integer: param.SetAsInteger(p.defaultInt); break;
            case ParamType::Date: param.SetAsDate(isoToDateTime(p.defaultText)); break;
            case ParamType::DateTime: param.SetAsDateTime(isoToDateTime(p.defaultText)); break;
        }
    }
}

void ReportRunner::recordParams(const ReportDefinition& def, const host::TParams& params) {
    m_lastParams.clear();
    for (std::size_t i = 0; i < params.Count(); ++i) {
        const host::TParam& p = params[i];
        ReportParam rp;
        rp.name = p.Name();
        // The kind the form bound it with; a date keeps the declared
        // precision (date or date-time), which TParam does not tell apart.
        const ParameterDef* d = def.findParameter(p.Name());
        switch (p.DataType()) {
            case host::FieldType::String: rp.type = ParamType::String; break;
            case host::FieldType::Integer: rp.type = ParamType::Integer; break;
            case host::FieldType::Date:
                rp.type = (d && d->type == ParamType::DateTime) ? ParamType::DateTime : ParamType::Date;
                break;
            case host::FieldType::Float: rp.type = d ? d->type : ParamType::String; break;
        }
        rp.value = (p.Bound() && !p.Value().isUnassigned()) ? p.Value() : host::Variant::null();
        m_lastParams.push_back(std::move(rp));
    }
}

std::vector<std::string> ReportRunner::lastParamLines() const {
    std::vector<std::string> out;
    for (const auto& p : m_lastParams) {
        nlohmann::ordered_json j;
        j["Param"] = p.name;
        using K = host::Variant::Kind;
        const host::Variant& v = p.value;
        std::string typeName = paramTypeName(p.type);
        if (v.kind() == K::Float) typeName = "float";
        j["DataType"] = typeName;
        switch (v.kind()) {
            case K::Unassigned:
            case K::Null: j["Value"] = nullptr; break;
            case K::Integer: j["Value"] = v.toInt(); break;
            case K::Float: j["Value"] = v.toDouble(); break;
            case K::Date:
                j["Value"] = internal::formatDate(v.toDate(),
                                                  p.type == ParamType::DateTime ? "yyyy-mm-dd hh:nn:ss" : "yyyy-mm-dd");
                break;
            default: j["Value"] = v.toString(); break;
        }
        out.push_back(j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    }
    return out;
}

namespace {

// Texts are cut as the database gives them, one character past what the
// report keeps, so that ReportData still sees them as too long and marks the
// cut; photos are never cut.
void capTexts(host::QueryRequest& req, const ReportDefinition& def) {
    req.maxTextLength = internal::ReportData::kMaxTextLength + 1;
    for (const auto& g : def.groups)
        for (const auto* items : {&g.header, &g.footer})
            for (const auto& item : *items)
                if (item.kind == SectionItem::Kind::Image) req.wholeTexts.push_back(item.field);
}

}  // namespace

std::map<std::string, host::Variant> ReportRunner::runLookups(const ReportDefinition& def,
                                                              const std::vector<ReportParam>& params) {
    std::map<std::string, host::Variant> out;
    for (const auto& l : def.lookups) {
        host::QueryRequest req;
        req.name = fs::path(def.file).filename().string() + " " + l.pointer;
        req.sql.generic = l.sql;
        capTexts(req, def);
        for (const auto& name : l.params)
            for (const auto& p : params)
                if (upper(p.name) == name)
                    req.params.emplace_back(p.name, p.value.isUnassigned() ? host::Variant::null() : p.value);
        host::DataPacket packet = database().Open(req);
        out[l.name] = (!packet.rows.empty() && !packet.rows[0].empty()) ? packet.rows[0][0] : host::Variant::null();
    }
    return out;
}

namespace {

// The data set a definition without SQL takes its rows from: one of the
// form's sources.
const host::TDataSet& formDataSet(host::TfrmDadosGerRel& form, const ReportDefinition& def) {
    host::TObject* obj = form.FindComponent(def.dataSource);
    auto* source = dynamic_cast<host::TDataSource*>(obj);
    if (!source)
        throw host::EHostError(definitionError(def.file, "/data/dataSource",
                                               "o formulário não tem a fonte de dados '" + def.dataSource + "'"));
    if (!source->DataSet)
        throw host::EHostError(
            definitionError(def.file, "/data/dataSource",
                            "a fonte de dados '" + def.dataSource + "' não está ligada a um conjunto de dados"));
    return *source->DataSet;
}

// The visible rows of a form's data set, read in place one at a time: the
// data set keeps the only copy. A change of the data set while the rows are
// read is an error of the reading, never rows of two states.
class DataSetRows final : public RowSource {
public:
    explicit DataSetRows(const host::TDataSet& set) : m_reader(set.ReadRows()) {
        for (const auto& f : set.Fields()) m_fields.push_back(f->Def());
    }
    const std::vector<host::FieldDef>& fields() const override { return m_fields; }
    bool next(std::vector<host::Variant>& row) override {
        if (!m_reader.Next()) return false;
        m_reader.Values(row);
        return true;
    }

private:
    std::vector<host::FieldDef> m_fields;
    host::TDataSet::RowReader m_reader;
};

}  // namespace

void PreviewPages::eachPage(const std::function<bool(const std::string&)>& sink) const {
    if (document) TextRenderer::eachPage(*document, sink);
}

std::unique_ptr<RowSource> ReportRunner::openData(const ReportDefinition& def, const std::vector<ReportParam>& params) {
    host::QueryRequest req;
    req.name = fs::path(def.file).filename().string();
    req.sql.generic = def.sql;
    capTexts(req, def);
    // Only what the text uses: the database refuses names it does not find.
    for (const auto& name : def.sqlParams)
        for (const auto& p : params)
            if (upper(p.name) == name)
                req.params.emplace_back(p.name, p.value.isUnassigned() ? host::Variant::null() : p.value);
    return database().Read(req);
}

std::size_t ReportRunner::print(const ReportDocument& doc,
                                const std::function<void(std::size_t, std::size_t)>& progress) {
    auto printer = CupsPrinter::defaultPrinter();
    if (!printer) throw host::EHostError("Nenhuma impressora configurada.");
    auto it = m_renderers.find(".pdf");
    std::shared_ptr<FileRenderer> renderer = it != m_renderers.end() ? it->second : m_renderers.at(".txt");
    ProgressScope scope(*renderer, progress);
    renderScratch(*renderer, doc, it != m_renderers.end() ? ".pdf" : ".txt", [&](const std::string& path) {
        CupsPrinter::printFile(*printer, path, doc.reportId() + " - " + doc.titleText(), renderer->mimeType());
    });
    return doc.pageCount();
}

void ReportRunner::Run(host::TfrmDadosGerRel& form, const std::string& definitionFile, host::ReportTarget target,
                       const std::string& fileName) {
    auto run = prepare(form, definitionFile, target, fileName);
    execute(*run, RunControl{m_options.stop, m_options.progress});
}

std::unique_ptr<ReportRunner::PreparedRun> ReportRunner::prepare(host::TfrmDadosGerRel& form,
                                                                 const std::string& definitionFile,
                                                                 host::ReportTarget target,
                                                                 const std::string& fileName) {
    m_lastOutcome.reset();
    auto run = std::make_unique<PreparedRun>();
    fs::path defPath(definitionFile);
    run->reportFolder = folder();
    if (defPath.is_relative()) defPath = fs::path(run->reportFolder) / defPath;
    run->def = ReportDefinition::load(defPath.string());
    const ReportDefinition& def = run->def;
    run->reportId = upper(defPath.stem().string());
    const std::string& reportId = run->reportId;
    run->target = target;
    run->fileName = fileName;
    if (reportId.size() < 2 || reportId.substr(reportId.size() - 2) != def.code)
        throw host::EHostError(
            definitionError(def.file, "/code", "o código '" + def.code + "' não corresponde ao nome do arquivo"));
    // Targets that cannot work are refused before the form does any work.
    if (target == host::ReportTarget::File) {
        if (fileName.empty()) throw host::EHostError("Informe o arquivo em que o relatório será gravado.");
        std::string ext = lower(fs::path(fileName).extension().string());
        auto it = m_renderers.find(ext);
        if (it == m_renderers.end()) {
            std::string known;
            for (const auto& [e, r] : m_renderers) known += (known.empty() ? "" : ", ") + e;
            throw host::EHostError("Formato de arquivo não suportado: '" + (ext.empty() ? fileName : ext) +
                                   "' (formatos: " + known + ").");
        }
        run->renderer = it->second;
        fs::path parent = fs::path(fileName).parent_path();
        std::error_code ec;
        if (!parent.empty() && !fs::is_directory(parent, ec))
            throw host::EHostError("Não foi possível gravar '" + fileName + "': " +
                                   (fs::exists(parent, ec) ? "'" + parent.string() + "' não é uma pasta"
                                                           : "a pasta '" + parent.string() + "' não existe") +
                                   ".");
    } else if (target == host::ReportTarget::Printer) {
        if (!CupsPrinter::defaultPrinter()) throw host::EHostError("Nenhuma impressora configurada.");
    } else if (!m_options.previewSink) {
        throw host::EHostError("Visualização indisponível: este ambiente não mostra relatórios na tela.");
    }

    host::TParams params;
    buildParams(def, params);
    if (form.rpddPadrao && form.rpddPadrao->BeforeGetQueryParams) {
        bool flag = true;  // handed by reference; the dialog does not read it back
        try {
            form.rpddPadrao->BeforeGetQueryParams(params, flag);
        } catch (...) {
            recordParams(def, params);
            throw;  // a silent abort included: nothing is written
        }
    }
    recordParams(def, params);
    refuseWhenAsked(def);

    if (def.sql.empty()) run->formData = &formDataSet(form, def);
    return run;
}

// The definition's own refusals, on the parameters as the form bound them.
void ReportRunner::refuseWhenAsked(const ReportDefinition& def) const {
    if (def.refusals.empty()) return;
    const internal::ReportData values(host::DataPacket{}, m_lastParams, {});
    const internal::Evaluator eval(def, values);
    for (const auto& r : def.refusals)
        if (eval.holds(r.when, nullptr)) throw host::EHostError(r.message);
}

void ReportRunner::execute(PreparedRun& run, const RunControl& control) {
    const ReportDefinition& def = run.def;
    // Every progress report is also where a stop is seen.
    auto progress = [&control](const std::string& stage, std::size_t done, std::size_t total) {
        if (control.stop.stop_requested()) throw ReportCancelled();
        if (control.progress) control.progress(stage, done, total);
        if (control.stop.stop_requested()) throw ReportCancelled();
    };
    auto writing = [&progress](std::size_t done, std::size_t total) { progress("gravacao", done, total); };
    try {
        progress("dados", 0, 0);
        ReportDocument::Input in;
        in.definition = &def;
        in.reportId = run.reportId;
        in.params = m_lastParams;
        in.printedAt = m_options.clock ? m_options.clock() : internal::nowLocal();
        in.imageFolder = run.reportFolder;
        in.stop = control.stop;
        // The document reads its rows once, as it is made: those of the
        // definition's SQL straight from the database's cursor.
        std::optional<ReportDocument> made;
        if (run.formData) in.rows = std::make_unique<DataSetRows>(*run.formData);
        if (!def.lookups.empty() || !def.sql.empty()) {
            // Whatever the definition's SQL says, it runs where nothing can be changed.
            auto read = [&] {
                in.lookups = runLookups(def, m_lastParams);
                if (!def.sql.empty()) in.rows = openData(def, m_lastParams);
                made.emplace(std::move(in));
            };
            try {
                database().RunReadOnly([&] {
                    if (m_options.stoppableRead)
                        m_options.stoppableRead(read, control.stop);
                    else
                        read();
                });
            } catch (const host::EStatementTimeout& e) {
                if (control.stop.stop_requested()) throw ReportCancelled();
                if (host::InstalledPorts().ui) host::UI().Log("report " + run.reportId + ": " + e.what());
                throw host::EHostError("A consulta do relatório " + run.reportId + " passou do limite de " +
                                       seconds(m_options.statementTimeout) + " s e foi interrompida.");
            } catch (const std::exception&) {
                // The statement failed because it was interrupted.
                if (control.stop.stop_requested()) throw ReportCancelled();
                throw;
            }
        } else {
            made.emplace(std::move(in));
        }
        ReportDocument& doc = *made;
        progress("dados", doc.dataRowCount(), doc.dataRowCount());
        progress("paginas", 0, 0);  // the counting pass, before any page is known
        progress("paginas", doc.pageCount(), doc.pageCount());

        Outcome outcome;
        outcome.pages = doc.pageCount();
        outcome.rows = doc.rowCount();
        switch (run.target) {
            case host::ReportTarget::Preview: {
                PreviewPages pp;
                pp.reportId = run.reportId;
                pp.title = def.title;
                pp.document = &doc;
                m_options.previewSink(pp);
                outcome.target = "preview";
                outcome.file = "-";
                break;
            }
            case host::ReportTarget::Printer:
                progress("gravacao", 0, doc.pageCount());
                print(doc, writing);
                outcome.target = "print";
                outcome.file = "-";
                break;
            case host::ReportTarget::File: {
                progress("gravacao", 0, doc.pageCount());
                ProgressScope scope(*run.renderer, writing);
                renderToFile(*run.renderer, doc, run.fileName);
                outcome.target = "file";
                outcome.file = run.fileName;
                break;
            }
        }
        // Done: a stop asked from now on comes too late to undo anything.
        if (control.progress) control.progress("gravacao", doc.pageCount(), doc.pageCount());
        outcome.reportId = run.reportId;
        m_lastOutcome = outcome;
        if (m_options.reportLine)
            m_options.reportLine("report: " + outcome.target + " " + outcome.file + " " +
                                 std::to_string(outcome.pages));
    } catch (const host::EAbort&) {
        throw;
    } catch (const host::EHostError&) {
        throw;
    } catch (const std::exception& e) {
        throw host::EHostError("Relatório '" + def.file + "': " + e.what());
    }
}

std::vector<std::pair<std::string, std::string>> ReportRunner::ListReports(const std::string& family) {
    const std::string dir = folder();
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) throw host::EHostError("A pasta de relatórios '" + dir + "' não existe.");
    std::vector<std::pair<std::string, std::string>> out;
    const std::string fam = upper(family);
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        if (!entry.is_regular_file()) continue;
        std::string name = entry.path().filename().string();
        std::string u = upper(name);
        if (u.size() != fam.size() + 6 || u.rfind(fam, 0) != 0 || u.substr(u.size() - 4) != ".QR2") continue;
        ReportDefinition def = ReportDefinition::load(entry.path().string());
        if (u.substr(fam.size(), 2) != def.code)
            throw host::EHostError(
                definitionError(def.file, "/code", "o código '" + def.code + "' não corresponde ao nome do arquivo"));
        out.emplace_back(def.code, def.title);
    }
    if (ec) throw host::EHostError("A pasta de relatórios '" + dir + "' não pode ser lida (" + ec.message() + ").");
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace pla013::reports
