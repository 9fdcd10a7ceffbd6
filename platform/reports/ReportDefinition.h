#pragma once
// A report definition (".QR2"): our own JSON format, described in
// docs/report-format.md. This header is the parsed, validated form; parsing
// checks everything that can be checked without the data (syntax, keys,
// types, declared parameters); the names of data fields are checked by the
// runner once the data is open, since only then are the fields known.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pla013::reports {

enum class ParamType { String, Integer, Date, DateTime };
enum class Align { Left, Right, Center };
enum class Orientation { Portrait, Landscape };
enum class TotalFunction { Sum, Count, Avg, Min, Max };

const char* paramTypeName(ParamType type);  // "string", "integer", "date", "datetime"

// A condition on parameter values or on the current row. Parameters and
// fields are compared as text (an integer as its decimal text, a date as
// YYYY-MM-DD).
struct Condition {
    enum class Kind { Always, ParamEquals, FieldEquals, FieldNotNull, All, Any, Not };
    Kind kind = Kind::Always;
    std::string name;                 // parameter or field
    std::vector<std::string> values;  // equals: any of these
    std::vector<Condition> children;  // All, Any, Not (one child)
    std::string pointer;              // JSON pointer, for messages

    bool always() const { return kind == Kind::Always; }
};

// A computed field: arithmetic over numeric fields, parameters and literals.
class Expression;

struct ParameterDef {
    std::string name;  // "P_..." as declared
    ParamType type = ParamType::String;
    bool hasDefault = false;
    std::string defaultText;                     // string/date (YYYY-MM-DD)/datetime (YYYY-MM-DD HH:MM:SS)
    long long defaultInt = 0;                    // integer
    std::string label;                           // shown among the filters when not empty
    std::map<std::string, std::string> display;  // value text -> text shown
    std::string format;                          // display format of dates ("dd/mm/yyyy" by default)
    Condition showWhen;                          // filter shown only when this holds
    std::string pointer;
};

struct LookupDef {
    std::string name;                 // the value is used in templates as {NAME}
    std::string sql;                  // first column of the first row; empty when no row
    std::vector<std::string> params;  // parameters the SQL uses
    std::string pointer;
};

struct ComputedDef {
    std::string name;
    std::shared_ptr<const Expression> expression;
    // When set and failing for a row, the value is otherwise's (null without
    // one); for an aggregate, the rows it adds or counts.
    std::optional<Condition> when;
    std::shared_ptr<const Expression> otherwise;
    // An aggregate instead of an expression: a value of the whole run of
    // neighbouring rows with equal values of `over` (every row when over is
    // empty), the same on each of them, taken from the data's own values
    // before anything is rounded.
    enum class Aggregate { None, Sum, Count };
    Aggregate aggregate = Aggregate::None;
    std::string field;  // Sum: the field added; Count: rows where it is not null (every row without one)
    std::vector<std::string> over;
    // A number format: the value is rounded to its decimals as the row is read.
    std::string format;
    std::string pointer;
};

struct ColumnDef {
    std::string field;
    std::string caption;
    int width = 10;  // in characters
    Align align = Align::Left;
    std::string format;  // empty: by the value's kind
    Condition when;      // the column exists only when this holds (parameters only)
    std::string indent;  // a field: the text moves right two blanks per unit of its value
    // Texts printed instead of the value: on a row, the first marker whose
    // condition holds.
    struct Marker {
        std::string text;
        Condition when;
    };
    std::vector<Marker> markers;
    // Share of the line's spare width the column takes (0: keeps its width).
    int grow = 0;
    // The heading printed above this column and its neighbours with the
    // same one; a gutter separates two such headings.
    std::string span;
    // The column's heading in the data targets (CSV, XLSX data sheet);
    // caption by default.
    std::string dataCaption;
    std::string pointer;
};

struct TotalDef {
    std::string field;  // empty for count of rows
    TotalFunction function = TotalFunction::Sum;
    std::string format;
    std::string caption;  // shown before the value when no column shows the field
    std::string under;    // the field whose column shows the total; field by default
    // Words printed after the figure (or alone, when it is blank): the first
    // note whose condition holds on the row that closes the scope
    // ("incompleto").
    struct Note {
        std::string text;
        Condition when;
    };
    std::vector<Note> notes;
    std::string pointer;
};

// One element of a group header or footer, or of the report's summary.
struct SectionItem {
    // Inline: a text in a cell `width` characters wide; the inline items of
    // neighbouring groups share a line while it has room.
    enum class Kind { Text, Memo, Image, Totals, Inline };
    Kind kind = Kind::Text;
    std::string text;  // Text, Inline: template with {NAME} / {NAME|format}
    bool bold = false;
    std::string field;    // Memo, Image
    std::string caption;  // Memo: label before the text; Totals: label at the left
    int lines = 6;        // Image: height in lines
    int width = 0;        // Inline: characters of its cell, the blanks after it included
    std::vector<TotalDef> totals;
    Condition when;
    std::string pointer;
};

struct DataColumnDef {  // extra columns of flat exports (CSV)
    std::string field;
    std::string caption;
    std::string pointer;
};

struct GroupDef {
    std::vector<std::string> fields;  // the group changes when any of them does
    bool newPage = false;
    // A group that fits on a page is not split: it starts the next page
    // rather than break.
    bool keepTogether = false;
    // Whether the levels inside this one are indented for it (two blanks).
    bool indent = true;
    std::vector<SectionItem> header;
    std::vector<SectionItem> footer;
    std::vector<DataColumnDef> dataColumns;
    std::string pointer;
};

struct DetailDef {
    Condition when;                 // parameters: whether detail lines print at all
    Condition printIf;              // per row
    std::optional<Condition> bold;  // per row: the line prints in bold when it holds
    // Detail lines that head the lines after them (the groups of a code
    // tree): where headingWhen holds, the line heads what follows up to the
    // next line of its level (headingLevel, 0 outermost) or above; a page
    // that goes on under it repeats it, "(continuação)" added to the text of
    // the column of headingColumn.
    std::optional<Condition> headingWhen;
    std::string headingLevel;
    std::string headingColumn;
    std::string pointer = "/detail";
};

struct ReportDefinition {
    std::string file;  // where it was read from, for messages
    std::string code;
    std::string title;
    std::string subtitle;  // template
    Orientation orientation = Orientation::Portrait;
    std::vector<ParameterDef> parameters;
    std::vector<LookupDef> lookups;
    std::string sql;                     // exactly one of sql and dataSource
    std::vector<std::string> sqlParams;  // parameters the SQL uses, as declared
    std::string dataSource;
    // Fields the rows are put in order by, after the computed fields are
    // added; rows equal on them keep the order they came in.
    std::vector<std::string> order;
    std::string orderPointer = "/data/order";
    // Declared kinds of data fields ("string", "integer", "float", "date"):
    // values are converted to them when the data is opened (the engine may
    // not know the type of a computed column).
    std::map<std::string, std::string> fieldTypes;
    std::string fieldTypesPointer = "/data/types";
    std::vector<ComputedDef> computed;
    std::vector<GroupDef> groups;
    DetailDef detail;
    std::vector<ColumnDef> columns;
    std::vector<TotalDef> totals;
    std::string totalsCaption = "Total geral";
    // Checked once the form has bound the parameters, before any data is
    // read: the first refusal whose condition holds stops the run with its
    // message (a report that cannot mean anything with these values).
    struct Refusal {
        Condition when;  // parameters only
        std::string message;
        std::string pointer;
    };
    std::vector<Refusal> refusals;
    // Every name of a data field that the definition uses, with its place;
    // the runner checks them against the fields of the opened data.
    struct FieldRef {
        std::string name;
        std::string pointer;
    };
    std::vector<FieldRef> fieldRefs;
    std::string emptyText = "Nenhum registro encontrado.";

    const ParameterDef* findParameter(const std::string& name) const;  // case-insensitive
    int pageWidth() const;  // characters of a line: 110 portrait, 160 landscape

    // Parses and validates; EHostError naming the file and the place (line and
    // column for syntax, JSON pointer otherwise).
    static ReportDefinition parse(const std::string& text, const std::string& file);
    static ReportDefinition load(const std::string& path);
};

// Message of a definition error at a place: "Definição de relatório 'FILE',
// PLACE: TEXT".
std::string definitionError(const std::string& file, const std::string& place, const std::string& text);

// The ":NAME" parameters that an SQL text uses (outside literals and comments),
// upper-cased, each once, in order of first use.
std::vector<std::string> sqlParameterNames(const std::string& sql);

// The names that a template's placeholders refer to, each once.
std::vector<std::string> templateNames(const std::string& text);

}  // namespace pla013::reports
