// The dish range: validation of each end on exit and at print, the dishes a
// branch may use, the names, the focus, and the searches.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "Behaviour.h"

using namespace behaviour;

namespace {

using Lines = std::vector<std::string>;

// The standard-versus-local report (position 2): the branch field is usable,
// so that the branch whose dishes count can be changed.
std::string withBranch(const std::string& branch) { return "launch\nreport 2\ntype medCdFilial " + branch + "\ntab\n"; }

TEST(DishRange, EmptyFieldsAreAcceptedOnExit) {
    for (const char* field : {"medCdPratoIni", "medCdPratoFin"}) {
        SCOPED_TRACE(field);
        FormHarness h;
        runOk(h, std::string("launch\nfocus ") + field + "\n");
        auto r = runOk(h, "tab\ndump-form\n");
        EXPECT_TRUE(messages(r).empty()) << ::testing::PrintToString(r.lines);
        EXPECT_FALSE(aborted(r));
        EXPECT_NE(formState(r)["ActiveControl"], field);
    }
}

TEST(DishRange, EmptyEndAtPrintNamesThatEnd) {
    struct Case {
        const char* ini;
        const char* fin;
        const char* message;
        const char* focus;
    } cases[] = {
        {"", "", "Prato inicial deve ser informado.", "medCdPratoIni"},
        {"", "10002", "Prato inicial deve ser informado.", "medCdPratoIni"},
        {"10001", "", "Prato final deve ser informado.", "medCdPratoFin"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.ini) + ".." + c.fin);
        FormHarness h;
        runOk(h, std::string("launch\ntype medCdPratoIni \"") + c.ini + "\"\ntype medCdPratoFin \"" + c.fin +
                     "\"\nfocus cbbReportNames\n");
        auto r = runOk(h, "print\ndump-form\n");
        EXPECT_EQ(events(r), (Lines{std::string("message: ") + c.message, std::string("focus: ") + c.focus, "abort"}));
        EXPECT_EQ(formState(r)["ActiveControl"], c.focus);
    }
}

TEST(DishRange, DishesOfferedAreTheStandardOnesAndThoseOfTheTypedBranch) {
    struct Case {
        const char* branch;
        const char* code;
        const char* name;  // empty: refused
    } cases[] = {
        {"0001", "10001", "Salada de alface e tomate"},
        {"0001", "1", "Entradas e saladas"},
        {"0001", "10", "Saladas cruas"},
        {"0002", "33004", "Quibe de abóbora"},  // a dish of 0002 only
        {"0001", "33004", ""},                  // ... refused for another branch
        {"0003", "33004", ""},
        {"0006", "30005", "Bife acebolado"},
        {"0002", "30005", ""},
        {"0002", "99999", ""},  // in no branch at all
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.branch) + "/" + c.code);
        FormHarness h;
        runOk(h, withBranch(c.branch) + "type medCdPratoIni " + c.code + "\n");
        auto r = runOk(h, "tab\ndump medCdPratoIni edtNmPratoIni\ndump-form\n");
        EXPECT_EQ(text(r, "medCdPratoIni"), c.code) << "the code is looked up as typed";
        EXPECT_EQ(text(r, "edtNmPratoIni"), c.name);
        if (*c.name) {
            EXPECT_TRUE(messages(r).empty()) << ::testing::PrintToString(r.lines);
            EXPECT_NE(formState(r)["ActiveControl"], "medCdPratoIni");
        } else {
            // The focus is put back before the message and again on the way out.
            EXPECT_EQ(events(r), (Lines{"focus: medCdPratoIni", "message: Prato não cadastrado.",
                                        "focus: medCdPratoIni", "abort"}));
            EXPECT_EQ(formState(r)["ActiveControl"], "medCdPratoIni");
        }
    }
}

TEST(DishRange, TheFinalEndIsValidatedTheSameWay) {
    FormHarness h;
    runOk(h, withBranch("0002") + "type medCdPratoFin 31003\n");
    auto r = runOk(h, "tab\ndump edtNmPratoFin\n");
    EXPECT_TRUE(messages(r).empty());
    EXPECT_EQ(text(r, "edtNmPratoFin"), "Galinhada");  // the standard dish comes first by name
    r = runOk(h, "type medCdPratoFin 50004\ntab\ndump edtNmPratoFin\ndump-form\n");
    EXPECT_EQ(messages(r), Lines{"message: Prato não cadastrado."});
    EXPECT_EQ(formState(r)["ActiveControl"], "medCdPratoFin");
    EXPECT_EQ(text(r, "edtNmPratoFin"), "");
}

TEST(DishRange, CodeThatFillsNoLevelIsRefusedByThePictureCheck) {
    // The sample picture has levels of 1, 2 and 5 characters.
    FormHarness h;
    runOk(h, "launch\ntype medCdPratoIni 100\n");
    auto r = runOk(h, "tab\ndump medCdPratoIni edtNmPratoIni\ndump-form\n");
    ASSERT_EQ(messages(r).size(), 1u) << ::testing::PrintToString(r.lines);
    EXPECT_NE(messages(r)[0], "message: Prato não cadastrado.") << "the picture check speaks first";
    EXPECT_EQ(events(r).back(), "abort");
    EXPECT_EQ(formState(r)["ActiveControl"], "medCdPratoIni");
    EXPECT_EQ(text(r, "medCdPratoIni"), "100");
    EXPECT_EQ(text(r, "edtNmPratoIni"), "");
}

// How many dishes the sample holds per owner ("P" for the standard set).
std::map<std::string, int> dishesByOwner(const std::string& databasePath) {
    pla013::db::SociDatabase db(databasePath);
    auto rows = db.query("SELECT CDFILAUXPRAT, COUNT(*) FROM PRATO GROUP BY CDFILAUXPRAT", {}, "count");
    std::map<std::string, int> out;
    for (const auto& row : rows.rows) out[row[0].toString()] = int(row[1].toInt());
    return out;
}

// The codes that the dish search listed, in its order.
std::vector<std::string> listedDishes(FormHarness& h) {
    std::vector<std::string> codes;
    if (!h.form()) return codes;
    auto& q = *h.form()->qryPrato;
    for (q.First(); !q.Eof(); q.Next()) codes.push_back(q.FieldByName("CDPRATO").AsString());
    return codes;
}

TEST(DishRange, WithoutABranchOnlyStandardDishesCount) {
    FormHarness h;
    // A modal launch with no branch: medCdFilial stays empty. The script
    // ends with the dialog still open, so that the search's list can be read.
    auto r = runOk(h,
                   "launch-branch \"\"\n"
                   "type medCdPratoIni 33004\ntab\n"
                   "dump medCdFilial edtNmPratoIni\n"
                   "type medCdPratoIni 10001\ntab\n"
                   "dump edtNmPratoIni\n"
                   "answer search 10002\nclick btnProdFin\n"
                   "dump medCdPratoFin edtNmPratoFin\n");
    EXPECT_EQ(text(r, "medCdFilial"), "");
    auto names = pla013test::withPrefix(r.lines, "{\"Name\":\"edtNmPratoIni\"");
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(json::parse(names[0])["Text"], "") << "33004 belongs to branch 0002";
    EXPECT_EQ(json::parse(names[1])["Text"], "Salada de alface e tomate");
    EXPECT_EQ(messages(r), Lines{"message: Prato não cadastrado."});
    EXPECT_EQ(text(r, "medCdPratoFin"), "10002");
    EXPECT_EQ(text(r, "edtNmPratoFin"), "Salada de repolho com cenoura");

    auto listed = listedDishes(h);
    EXPECT_EQ(int(listed.size()), dishesByOwner(h.databasePath())["P"]) << "standard dishes only";
    EXPECT_EQ(std::count(listed.begin(), listed.end(), "33004"), 0);
    h.run("close\n");
}

TEST(DishRange, SearchListsStandardDishesAndThoseOfTheTypedBranch) {
    FormHarness h;
    runOk(h, withBranch("0002") + "type medCdPratoIni 9\n");
    auto r = runOk(h, "answer search 33004\nclick btnCdPratoIni\ndump medCdPratoIni edtNmPratoIni\n");
    EXPECT_EQ(events(r), Lines{"dialog: search Prato"});
    EXPECT_EQ(text(r, "medCdPratoIni"), "33004");
    EXPECT_EQ(text(r, "edtNmPratoIni"), "Quibe de abóbora");

    auto listed = listedDishes(h);
    EXPECT_TRUE(std::is_sorted(listed.begin(), listed.end())) << "ordered by code";
    auto owners = dishesByOwner(h.databasePath());
    EXPECT_EQ(int(listed.size()), owners["P"] + owners["0002"]);
    EXPECT_EQ(std::count(listed.begin(), listed.end(), "30005"), 0) << "a dish of 0006";
    EXPECT_EQ(std::count(listed.begin(), listed.end(), "30001"), 2) << "standard and local version";
}

TEST(DishRange, SearchFillsBothEndsWithoutAMessage) {
    FormHarness h;
    runOk(h, withBranch("0002") + "type medCdPratoIni 1\ntype medCdPratoFin 99999\n");
    auto r = runOk(h,
                   "answer search 30001\nclick btnCdPratoIni\n"
                   "answer search 51004\nclick btnProdFin\n"
                   "dump medCdPratoIni edtNmPratoIni medCdPratoFin edtNmPratoFin\n");
    EXPECT_EQ(events(r), (Lines{"dialog: search Prato", "dialog: search Prato"}));
    EXPECT_EQ(text(r, "medCdPratoIni"), "30001");
    EXPECT_EQ(text(r, "edtNmPratoIni"), "Carne de panela com batatas");
    EXPECT_EQ(text(r, "medCdPratoFin"), "51004");
    EXPECT_EQ(text(r, "edtNmPratoFin"), "Pudim de leite");
}

TEST(DishRange, ChangingTheBranchKeepsTheDishNameUntilTheDishIsCheckedAgain) {
    FormHarness h;
    runOk(h, withBranch("0002") + "type medCdPratoIni 33004\ntab\n");
    auto r = runOk(h, "type medCdFilial 3\ntab\ndump edtNmFilial edtNmPratoIni\n");
    EXPECT_TRUE(messages(r).empty());
    EXPECT_EQ(text(r, "edtNmFilial"), "Escola Estadual Conceição");
    EXPECT_EQ(text(r, "edtNmPratoIni"), "Quibe de abóbora") << "not checked against the new branch yet";
    r = runOk(h, "focus medCdPratoIni\ntab\ndump edtNmPratoIni medCdPratoIni\n");
    EXPECT_EQ(messages(r), Lines{"message: Prato não cadastrado."});
    EXPECT_EQ(text(r, "medCdPratoIni"), "33004");
    EXPECT_EQ(text(r, "edtNmPratoIni"), "Quibe de abóbora") << "a failure writes nothing";
}

TEST(DishRange, ChangingTheCodeClearsTheName) {
    FormHarness h;
    runOk(h, "launch\ntype medCdPratoIni 10001\ntab\ntype medCdPratoFin 10002\ntab\n");
    auto r = runOk(h, "type medCdPratoIni 10003\ndump edtNmPratoIni edtNmPratoFin\n");
    EXPECT_EQ(text(r, "edtNmPratoIni"), "");
    EXPECT_EQ(text(r, "edtNmPratoFin"), "Salada de repolho com cenoura");
}

}  // namespace
