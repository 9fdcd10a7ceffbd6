// The menu date range: dates typed as dd/mm/yyyy, the short weekday name
// beside each date, and the check of a date when its edit is left.

#include <gtest/gtest.h>

#include "Behaviour.h"

using namespace behaviour;

namespace {

using Lines = std::vector<std::string>;

// Position 5 enables the date group.
const char* kDates = "launch\nreport 5\n";

TEST(Dates, WeekdayFollowsTheTypedDate) {
    struct Case {
        const char* date;
        const char* weekday;
    } cases[] = {
        {"30/06/2024", "dom"}, {"01/07/2024", "seg"}, {"02/07/2024", "ter"},
        {"03/07/2024", "qua"}, {"04/07/2024", "qui"}, {"05/07/2024", "sex"},
        {"06/07/2024", "sáb"}, {"29/02/2024", "qui"}, {"01/01/2000", "sáb"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.date);
        FormHarness h;
        auto r = runOk(h, std::string(kDates) + "type depDataInic " + c.date + "\ntype depDataFina " + c.date +
                              "\ndump depDataInic edtDataInic depDataFina edtDataFina\n");
        EXPECT_EQ(text(r, "depDataInic"), c.date);
        EXPECT_EQ(text(r, "edtDataInic"), c.weekday);
        EXPECT_EQ(text(r, "depDataFina"), c.date);
        EXPECT_EQ(text(r, "edtDataFina"), c.weekday);
        EXPECT_TRUE(messages(r).empty()) << ::testing::PrintToString(r.lines);
    }
}

TEST(Dates, EachWeekdayBoxFollowsItsOwnDate) {
    FormHarness h;
    auto r = runOk(h, std::string(kDates) +
                          "type depDataInic 01/07/2024\ntype depDataFina 05/07/2024\n"
                          "dump edtDataInic edtDataFina\n");
    EXPECT_EQ(text(r, "edtDataInic"), "seg");
    EXPECT_EQ(text(r, "edtDataFina"), "sex");
}

TEST(Dates, ClearingADateEmptiesItsWeekday) {
    for (const char* edit : {"depDataInic", "depDataFina"}) {
        SCOPED_TRACE(edit);
        const std::string weekday = std::string(edit) == "depDataInic" ? "edtDataInic" : "edtDataFina";
        FormHarness h;
        runOk(h, std::string(kDates) + "type depDataInic 01/07/2024\ntype depDataFina 02/07/2024\n");
        auto r = runOk(
            h, std::string("type ") + edit + " \"\"\ndump " + weekday + " " + edit + " edtDataInic edtDataFina\ntab\n");
        EXPECT_EQ(text(r, edit), "");
        EXPECT_EQ(text(r, weekday), "");
        EXPECT_EQ(text(r, weekday == "edtDataInic" ? "edtDataFina" : "edtDataInic"),
                  weekday == "edtDataInic" ? "ter" : "seg")
            << "the other date keeps its weekday";
        EXPECT_TRUE(messages(r).empty()) << "an empty date passes on exit";
    }
}

TEST(Dates, InvalidDateIsRefusedOnExitAndKeepsTheFocus) {
    struct Case {
        const char* edit;
        const char* typed;
    } cases[] = {
        {"depDataInic", "31/02/2024"},
        {"depDataInic", "01/13/2024"},
        {"depDataFina", "00/07/2024"},
        {"depDataFina", "1/7"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.edit) + " " + c.typed);
        FormHarness h;
        runOk(h, std::string(kDates) + "type " + c.edit + " " + c.typed + "\n");
        auto r = runOk(h, "tab\ndump-form\n");
        ASSERT_EQ(messages(r).size(), 1u) << ::testing::PrintToString(r.lines);
        EXPECT_NE(messages(r)[0].find(c.typed), std::string::npos) << "the message names the text";
        EXPECT_EQ(focusMoves(r).back(), std::string("focus: ") + c.edit);
        EXPECT_EQ(events(r).back(), "abort");
        EXPECT_EQ(formState(r)["ActiveControl"], c.edit);
    }
}

TEST(Dates, AnUnfinishedOrInvalidDateShowsNoWeekday) {
    FormHarness h;
    auto r = runOk(h, std::string(kDates) +
                          "type depDataInic 01/07/2024\ntype depDataInic 31/02/2024\n"
                          "dump edtDataInic\n");
    EXPECT_EQ(text(r, "edtDataInic"), "");
}

TEST(Dates, MendedDateLetsTheUserLeave) {
    FormHarness h;
    runOk(h, std::string(kDates) + "type depDataInic 31/02/2024\ntab\n");
    auto r = runOk(h, "type depDataInic 28/02/2024\ntab\ndump edtDataInic\ndump-form\n");
    EXPECT_TRUE(messages(r).empty());
    EXPECT_NE(formState(r)["ActiveControl"], "depDataInic");
    EXPECT_EQ(text(r, "edtDataInic"), "qua");
}

TEST(Dates, DisabledDatesCannotBeTyped) {
    // Outside positions 5 and 8 the date group is disabled.
    FormHarness h;
    auto r = runOk(h, "launch\nreport 1\ntype depDataInic 01/07/2024\ndump depDataInic edtDataInic\n");
    EXPECT_EQ(text(r, "depDataInic"), "");
    EXPECT_EQ(text(r, "edtDataInic"), "");
}

}  // namespace
