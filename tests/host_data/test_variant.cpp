#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "host/DataPacket.h"
#include "host/Errors.h"
#include "host/Variant.h"

using namespace pla013::host;

namespace {

TEST(Variant, ScalarConversions) {
    struct Row {
        Variant value;
        std::string text;
        std::int64_t integer;
        double real;
    };
    const Row rows[] = {
        {Variant::null(), "", 0, 0.0},       {Variant(), "", 0, 0.0},
        {Variant(42), "42", 42, 42.0},       {Variant(std::int64_t(-7)), "-7", -7, -7.0},
        {Variant(2.5), "2.5", 2, 2.5},  // halves round to even
        {Variant(3.5), "3.5", 4, 3.5},       {Variant(3.0), "3", 3, 3.0},
        {Variant(0.1), "0.1", 0, 0.1},       {Variant(-1234.125), "-1234.125", -1234, -1234.125},
        {Variant(" 12 "), " 12 ", 12, 12.0}, {Variant::date(45292.0), "01/01/2024", 45292, 45292.0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.text);
        EXPECT_EQ(r.value.toString(), r.text);
        EXPECT_EQ(r.value.toInt(), r.integer);
        EXPECT_DOUBLE_EQ(r.value.toDouble(), r.real);
    }
    // Typed on a Portuguese keyboard, the decimal separator is a comma.
    EXPECT_DOUBLE_EQ(Variant("1,5").toDouble(), 1.5);
}

TEST(Variant, FloatTextReadsBackExactly) {
    for (double d : {0.1 + 0.2, 1.0 / 3.0, 123456.789, 1e-7, 9.87654321e20, 5e-324}) {
        const std::string text = Variant(d).toString();
        EXPECT_EQ(Variant(text).toDouble(), d) << text;
        EXPECT_EQ(text.find('e') == std::string::npos, std::abs(d) >= 1e-6 && std::abs(d) < 1e17) << text;
    }
}

// Taking a packet out of an answer moves it only when nobody else holds it;
// a holder that shares it keeps seeing it whole.
TEST(Variant, TakingMovesOnlyWhatIsNotShared) {
    auto make = [] {
        DataPacket p;
        p.fields = {{"A", FieldType::String, 1}};
        p.rows = {{Variant("x")}, {Variant("y")}};
        return Variant(std::vector<Variant>{Variant(1), Variant(std::make_shared<DataPacket>(std::move(p)))});
    };
    Variant alone = make();
    const DataPacket* inside = alone.at(1).packet().get();
    const Variant* rowsBefore = &inside->rows[0][0];
    Variant element = alone.takeAt(1);
    EXPECT_TRUE(alone.at(1).isUnassigned());
    const DataPacket taken = element.takePacket();
    EXPECT_TRUE(element.isUnassigned());
    ASSERT_EQ(taken.rows.size(), 2u);
    EXPECT_EQ(&taken.rows[0][0], rowsBefore);  // moved, not copied

    Variant shared = make();
    const Variant other = shared;
    const DataPacket copied = shared.takeAt(1).takePacket();
    EXPECT_EQ(copied.rows.size(), 2u);
    EXPECT_EQ(other.at(1).packet()->rows.size(), 2u);
    EXPECT_EQ(other.array().size(), 2u);
    EXPECT_THROW(Variant("x").takeAt(0), EVariantError);
    EXPECT_THROW(Variant(1).takePacket(), EVariantError);
    EXPECT_THROW(make().takeAt(2), EVariantError);
}

TEST(Variant, BadConversionsRaiseVariantError) {
    const Variant array(std::vector<Variant>{Variant(1)});
    const Variant packet(std::make_shared<DataPacket>());
    EXPECT_THROW(Variant("abc").toInt(), EVariantError);
    EXPECT_THROW(Variant("12.5").toInt(), EVariantError);
    EXPECT_THROW(Variant("1.5.2").toDouble(), EVariantError);
    EXPECT_THROW(Variant("1,5.2").toDouble(), EVariantError);
    EXPECT_THROW(Variant("").toInt(), EVariantError);
    EXPECT_THROW(array.toString(), EVariantError);
    EXPECT_THROW(packet.toInt(), EVariantError);
    EXPECT_THROW(Variant("x").array(), EVariantError);
    EXPECT_THROW(Variant::null().at(0), EVariantError);
    EXPECT_THROW(Variant().at(0), EVariantError);
    EXPECT_THROW(array.at(1), EVariantError);
    EXPECT_THROW(Variant(1).packet(), EVariantError);
    EXPECT_THROW(Variant("31/02/2024").toDate(), EVariantError);
    EXPECT_THROW(Variant::null().toDate(), EVariantError);
    EXPECT_EQ(array.at(0).toInt(), 1);
}

TEST(Variant, KindsAndEquality) {
    EXPECT_EQ(Variant().kind(), Variant::Kind::Unassigned);
    EXPECT_EQ(Variant::null().kind(), Variant::Kind::Null);
    EXPECT_EQ(Variant::date(1.0).kind(), Variant::Kind::Date);
    EXPECT_TRUE(Variant(3) == Variant(3.0));
    EXPECT_FALSE(Variant(3) == Variant("3"));
    EXPECT_FALSE(Variant::null() == Variant());
    EXPECT_TRUE(Variant(std::vector<Variant>{Variant("a"), Variant(1)}) ==
                Variant(std::vector<Variant>{Variant("a"), Variant(1)}));
    auto p1 = std::make_shared<DataPacket>();
    p1->fields.push_back({"A", FieldType::String, 4, false});
    p1->rows.push_back({Variant("x")});
    auto p2 = std::make_shared<DataPacket>(*p1);
    EXPECT_TRUE(Variant(std::shared_ptr<const DataPacket>(p1)) == Variant(std::shared_ptr<const DataPacket>(p2)));
    p2->rows[0][0] = Variant("y");
    EXPECT_FALSE(Variant(std::shared_ptr<const DataPacket>(p1)) == Variant(std::shared_ptr<const DataPacket>(p2)));
}

TEST(Dates, EncodeDecodeAndWeekday) {
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
    EXPECT_EQ(EncodeDate(2024, 3, 1) - EncodeDate(2024, 2, 28), 2.0);
    EXPECT_EQ(EncodeDate(2023, 3, 1) - EncodeDate(2023, 2, 28), 1.0);
    EXPECT_THROW(EncodeDate(2023, 2, 29), EHostError);
    EXPECT_THROW(EncodeDate(2024, 13, 1), EHostError);

    for (double d = EncodeDate(1899, 1, 1); d < EncodeDate(2101, 1, 1); d += 17.25) {
        int y = 0, m = 0, day = 0;
        DecodeDate(d, y, m, day);
        ASSERT_EQ(EncodeDate(y, m, day), std::floor(d)) << d;
    }
    EXPECT_EQ(DayOfWeek(EncodeDate(2024, 1, 1)), 2);  // Monday
    EXPECT_EQ(DayOfWeek(EncodeDate(2024, 1, 7)), 1);  // Sunday
    EXPECT_EQ(DayOfWeek(EncodeDate(2024, 1, 6)), 7);  // Saturday
    EXPECT_EQ(DayOfWeek(EncodeDate(1899, 12, 29)), 6);
    EXPECT_EQ(DayOfWeek(EncodeDate(2024, 1, 1) + 0.75), 2);  // the time part does not move the day
}

TEST(Dates, Formatting) {
    const TDateTime monday = EncodeDate(2024, 1, 1);
    const char* shortNames[] = {"seg", "ter", "qua", "qui", "sex", "sáb", "dom"};
    const char* longNames[] = {"segunda-feira", "terça-feira", "quarta-feira", "quinta-feira",
                               "sexta-feira",   "sábado",      "domingo"};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(FormatDateTime("ddd", monday + i), shortNames[i]);
        EXPECT_EQ(FormatDateTime("dddd", monday + i), longNames[i]);
    }
    EXPECT_EQ(FormatDateTime("dd/mm/yyyy", EncodeDate(2024, 2, 9)), "09/02/2024");
    EXPECT_EQ(FormatDateTime("ddd, dd-mm-yyyy!", monday), "seg, 01-01-2024!");
    EXPECT_EQ(Variant::date(EncodeDate(2024, 2, 29) + 0.5).toString(), "29/02/2024");
    EXPECT_EQ(DateToIso(EncodeDate(987, 6, 5)), "0987-06-05");
    const TDateTime today = Today();
    EXPECT_EQ(today, std::floor(today));
    EXPECT_GT(today, EncodeDate(2020, 1, 1));
}

TEST(Dates, ParsingValidatesTheCalendar) {
    struct Row {
        const char* text;
        bool ok;
        int y, m, d;
    };
    const Row rows[] = {
        {"29/02/2024", true, 2024, 2, 29},  {"31/02/2024", false, 0, 0, 0},       {"29/02/2023", false, 0, 0, 0},
        {"29/02/1900", false, 0, 0, 0},     {"29/02/2000", true, 2000, 2, 29},    {"31/04/2024", false, 0, 0, 0},
        {"31/12/2024", true, 2024, 12, 31}, {" 1 / 3 / 2024 ", true, 2024, 3, 1}, {"00/01/2024", false, 0, 0, 0},
        {"32/01/2024", false, 0, 0, 0},     {"15/13/2024", false, 0, 0, 0},       {"15/00/2024", false, 0, 0, 0},
        {"01/01/24", false, 0, 0, 0},       {"  /  /    ", false, 0, 0, 0},       {"", false, 0, 0, 0},
        {"01/01/2024/", false, 0, 0, 0},    {"01-01-2024", false, 0, 0, 0},       {"1a/01/2024", false, 0, 0, 0},
        {"-1/01/2024", false, 0, 0, 0},
    };
    for (const auto& r : rows) {
        TDateTime out = -1;
        EXPECT_EQ(TryStrToDate(r.text, out), r.ok) << r.text;
        if (r.ok) {
            EXPECT_EQ(out, EncodeDate(r.y, r.m, r.d)) << r.text;
        }
    }

    TDateTime iso = 0;
    EXPECT_TRUE(TryIsoToDate("2024-02-29", iso));
    EXPECT_EQ(iso, EncodeDate(2024, 2, 29));
    EXPECT_EQ(DateToIso(iso), "2024-02-29");
    EXPECT_FALSE(TryIsoToDate("2023-02-29", iso));
    EXPECT_FALSE(TryIsoToDate("2024-2-29", iso));
    EXPECT_FALSE(TryIsoToDate("2024-02-29T10", iso));
    EXPECT_EQ(Variant("2024-02-29").toDate(), EncodeDate(2024, 2, 29));
    EXPECT_EQ(Variant("29/02/2024").toDate(), EncodeDate(2024, 2, 29));
}

TEST(DataPacketTypes, NamesRoundTrip) {
    for (FieldType t : {FieldType::String, FieldType::Integer, FieldType::Float, FieldType::Date}) {
        FieldType back = FieldType::String;
        ASSERT_TRUE(ParseFieldType(FieldTypeName(t), back));
        EXPECT_EQ(back, t);
    }
    FieldType t = FieldType::Date;
    EXPECT_TRUE(ParseFieldType("Integer", t));
    EXPECT_EQ(t, FieldType::Integer);
    EXPECT_FALSE(ParseFieldType("blob", t));

    DataPacket p;
    p.fields = {{"CDPRATO", FieldType::String, 10, false}, {"QtBrut", FieldType::Float, 0, false}};
    EXPECT_EQ(p.fieldIndex("qtbrut"), 1);
    EXPECT_EQ(p.fieldIndex("CdPrato"), 0);
    EXPECT_EQ(p.fieldIndex("CDPRAT"), -1);
}

}  // namespace
