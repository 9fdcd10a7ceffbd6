#include <gtest/gtest.h>

#include <filesystem>

#include <algorithm>
#include <fstream>
#include <set>
#include <string>

#include "FormHarness.h"
#include "platform/script/ScriptRunner.h"

namespace {

// The step names of the rows of docs/script.md's step table: the first word
// of every code span in a row's first cell ("`preview` / `print` / `save FILE`").
std::set<std::string> documentedSteps() {
    std::ifstream in(PLA013_SCRIPT_DOC);
    EXPECT_TRUE(in) << "cannot read " << PLA013_SCRIPT_DOC;
    std::set<std::string> steps;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("| `", 0) != 0) continue;
        const std::string cell = line.substr(1, line.find('|', 1) - 1);
        for (std::size_t open = cell.find('`'); open != std::string::npos; open = cell.find('`', open + 1)) {
            const std::size_t close = cell.find('`', open + 1);
            if (close == std::string::npos) break;
            const std::string span = cell.substr(open + 1, close - open - 1);
            steps.insert(span.substr(0, span.find(' ')));
            open = close;
        }
    }
    return steps;
}

TEST(ScriptSteps, EveryStepOfTheRunnerIsDocumentedAndEveryDocumentedStepRuns) {
    const std::set<std::string> documented = documentedSteps();
    ASSERT_FALSE(documented.empty()) << "no step table found in " << PLA013_SCRIPT_DOC;
    const auto names = pla013::script::ScriptRunner::stepNames();
    const std::set<std::string> table(names.begin(), names.end());
    EXPECT_EQ(table.size(), names.size()) << "a step is in the table twice";
    for (const auto& step : table) EXPECT_TRUE(documented.count(step)) << "'" << step << "' is not in docs/script.md";
    for (const auto& step : documented) EXPECT_TRUE(table.count(step)) << "'" << step << "' is documented but not run";
}

struct RunnerCase {
    const char* name;
    const char* script;
    int status;
    const char* err;   // expected in standard error; empty: no error at all
    const char* dump;  // expected in the last dump line; empty: no dump ran
};

void PrintTo(const RunnerCase& c, std::ostream* os) { *os << c.name; }

class ScriptRunnerCases : public ::testing::TestWithParam<RunnerCase> {};

TEST_P(ScriptRunnerCases, StatusReasonAndWhatRan) {
    const RunnerCase& c = GetParam();
    pla013test::FormHarness h;
    const auto r = h.run(c.script);
    EXPECT_EQ(r.status, c.status) << r.err;
    if (*c.err)
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    else
        EXPECT_EQ(r.err.find("error:"), std::string::npos) << r.err;
    const auto dumps = pla013test::withPrefix(r.lines, "{");
    if (*c.dump)
        EXPECT_NE(dumps.empty() ? std::string::npos : dumps.back().find(c.dump), std::string::npos)
            << ::testing::PrintToString(r.lines);
    else
        EXPECT_TRUE(dumps.empty()) << "no step runs after the one that could not";
}

// Line numbers count comment and blank lines, as an editor shows them.
INSTANTIATE_TEST_SUITE_P(
    Runner, ScriptRunnerCases,
    ::testing::Values(
        RunnerCase{"UnknownStep", "launch\n\n# the form is open\nlaunh-branch 0002\ndump-form\n", 2,
                   "error: line 4 (launh-branch): unknown step 'launh-branch'\n", ""},
        RunnerCase{"TooManyArguments", "launch\ntab medCdFilial\ndump-form\n", 2,
                   "error: line 2 (tab): 'tab' takes 0 argument(s)\n", ""},
        RunnerCase{"OutsideTheRange", "launch\ntype medCdFilial 0002 0003\ndump-form\n", 2,
                   "error: line 2 (type): 'type' takes 1 to 2 argument(s)\n", ""},
        RunnerCase{"CallWithoutMethod", "launch\ncall\ndump-form\n", 2,
                   "error: line 2 (call): 'call' needs a method name\n", ""},
        // A comment after a step's arguments is no argument: launch and
        // dump-form take none.
        RunnerCase{"CommentsAndBlankLinesAreNoSteps",
                   "# launh\n\n   \t\nlaunch   # as a child window\n  # dump-form extra\ndump-form # the state\n", 0,
                   "", "\"FormCriado\":true"},
        // DEL stays JSON in a dump; typing enters no control character.
        RunnerCase{"DelInADumpIsJson",
                   "launch-branch \"0\x7f"
                   "02\"\ndump-form\n",
                   0, "", "\"FCdFilial\":\"0\\u007f02\""},
        RunnerCase{"TypingDropsControlCharacters",
                   "launch\ntype medCdPratoIni \"1\x7f"
                   "0\x01\"\ndump medCdPratoIni\n",
                   0, "", "\"Text\":\"10\""}),
    [](const ::testing::TestParamInfo<RunnerCase>& info) { return std::string(info.param.name); });

// A save refused before its dialog opens keeps its file name to itself: the
// next save writes the file it names.
TEST(ScriptSteps, ARefusedSaveDoesNotHandItsFileToTheNextSave) {
    pla013test::FormHarness h;
    const std::string first = (h.dir() / "a.csv").string(), second = (h.dir() / "b.csv").string();
    const auto r = h.run(
        "launch\ntype medCdPratoIni 1\ntype medCdPratoFin 9\nselect rdgDadosOperador 1\n"
        "type speNivel 2\nsave " +
        first + "\ntype speNivel 1\nsave " + second + "\n");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(pla013test::withPrefix(r.lines, "message: ").size(), 1u) << ::testing::PrintToString(r.lines);
    const auto reports = pla013test::withPrefix(r.lines, "report: ");
    ASSERT_EQ(reports.size(), 1u) << ::testing::PrintToString(r.lines);
    EXPECT_EQ(reports[0].rfind("report: file " + second + " ", 0), 0u) << reports[0];
    EXPECT_FALSE(std::filesystem::exists(first));
    EXPECT_TRUE(std::filesystem::exists(second));
}

}  // namespace
