// The client data set's compact storage, through the data set's interface:
// every kind of value comes back as it went in, edits and appends keep the
// other cells, the row reader walks the visible order, and the memory the set
// reports is given back when it is emptied or closed.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "host/Data.h"
#include "host/Errors.h"

using namespace pla013::host;

namespace {

struct Case {
    const char* what;
    FieldType type;
    Variant value;
};

const std::string kLong = "Arroz agulhinha tipo 1, pacote de cinco quilos";

const Case kCases[] = {
    {"null text", FieldType::String, Variant::null()},
    {"empty text", FieldType::String, Variant("")},
    {"seven bytes", FieldType::String, Variant("ABCDEFG")},
    {"eight bytes", FieldType::String, Variant("ABCDEFGH")},
    {"long text", FieldType::String, Variant(kLong)},
    {"accents", FieldType::String, Variant("Feijão à moda, pão")},
    {"short accents", FieldType::String, Variant("Açaí")},
    {"a zero byte inside", FieldType::String, Variant(std::string("a\0b", 3))},
    {"null integer", FieldType::Integer, Variant::null()},
    {"zero", FieldType::Integer, Variant(0)},
    {"negative", FieldType::Integer, Variant(-7)},
    {"largest inline", FieldType::Integer, Variant(std::int64_t(1) << 54)},
    {"beyond inline", FieldType::Integer, Variant(std::int64_t(1) << 55)},
    {"below inline", FieldType::Integer, Variant(-(std::int64_t(1) << 55) - 1)},
    {"int64 max", FieldType::Integer, Variant(std::numeric_limits<std::int64_t>::max())},
    {"int64 min", FieldType::Integer, Variant(std::numeric_limits<std::int64_t>::min())},
    {"null float", FieldType::Float, Variant::null()},
    {"float", FieldType::Float, Variant(0.1)},
    {"negative zero", FieldType::Float, Variant(-0.0)},
    {"huge float", FieldType::Float, Variant(-1.7976931348623157e308)},
    {"tiny float", FieldType::Float, Variant(4.9e-324)},
    {"null date", FieldType::Date, Variant::null()},
    {"date", FieldType::Date, Variant::date(EncodeDate(2024, 2, 29))},
    {"date before 1899", FieldType::Date, Variant::date(EncodeDate(1850, 1, 1) + 0.25)},
};

bool sameBits(const Variant& a, const Variant& b) {
    if (a.kind() != b.kind()) return false;
    double x = 0, y = 0;
    if (a.numberIf(x) && b.numberIf(y) && a.kind() != Variant::Kind::Integer)
        return std::memcmp(&x, &y, sizeof x) == 0;  // -0.0 stays -0.0
    return a == b;
}

std::vector<FieldDef> caseFields() {
    std::vector<FieldDef> fields;
    for (std::size_t i = 0; i < std::size(kCases); ++i)
        fields.push_back({"F" + std::to_string(i), kCases[i].type, 0, false});
    return fields;
}

// Each case in a column of its own, in a packet of three rows (the case, its
// neighbour's value, null) loaded and read back through the data set.
TEST(CompactStorage, EveryKindOfValueComesBackAsItWentIn) {
    DataPacket p;
    p.fields = caseFields();
    const std::size_t n = std::size(kCases);
    for (std::size_t r = 0; r < 3; ++r) {
        std::vector<Variant> row;
        for (std::size_t c = 0; c < n; ++c) {
            const Case& other = kCases[(c + 1) % n];
            const bool sameType = other.type == kCases[c].type;
            row.push_back(r == 0 ? kCases[c].value : (r == 1 && sameType ? other.value : Variant::null()));
        }
        p.rows.push_back(row);
    }
    TClientDataSet cds("cdsTodos");
    cds.SetData(p);
    const DataPacket back = cds.Data();
    ASSERT_EQ(back.rows.size(), 3u);
    for (std::size_t r = 0; r < 3; ++r)
        for (std::size_t c = 0; c < n; ++c)
            EXPECT_TRUE(sameBits(back.rows[r][c], p.rows[r][c])) << kCases[c].what << ", row " << r;
    cds.First();
    for (std::size_t c = 0; c < n; ++c) {
        EXPECT_EQ(cds.Fields()[c]->IsNull(), kCases[c].value.isNull()) << kCases[c].what;
        EXPECT_TRUE(sameBits(cds.Fields()[c]->Value(), kCases[c].value)) << kCases[c].what;
    }
}

// Long texts are stored once per set: editing one cell that shares its text
// with others changes that cell only; appends after loading land in order.
TEST(CompactStorage, EditsAndAppendsKeepTheOtherCells) {
    DataPacket p;
    p.fields = {{"CD", FieldType::String, 10, false},
                {"NM", FieldType::String, 50, false},
                {"QT", FieldType::Float, 0, false},
                {"NR", FieldType::Integer, 0, false}};
    for (int i = 0; i < 3000; ++i)
        p.rows.push_back({Variant(std::to_string(i)), Variant(i % 2 ? kLong : "Sal"), Variant(i * 0.5),
                          Variant(std::int64_t(i) << 50)});
    TClientDataSet cds("cdsLinhas");
    cds.IndexDefs = {{"PorNome", "NM;QT"}};
    cds.SetData(std::move(p));

    ASSERT_TRUE(cds.Locate("CD", {Variant("1")}, {}));
    cds.Edit();
    EXPECT_EQ(cds.FieldByName("NM").AsString(), kLong);  // not written yet: the stored value
    cds.FieldByName("NM").SetAsString("Feijão carioca, tipo 1, saco");
    EXPECT_EQ(cds.FieldByName("NM").AsString(), "Feijão carioca, tipo 1, saco");
    cds.FieldByName("NR").Clear();
    cds.Post();
    cds.Append();
    cds.FieldByName("CD").SetAsString("novo");
    cds.FieldByName("NM").SetAsString(kLong);
    cds.FieldByName("QT").SetAsFloat(-1);
    cds.Post();

    ASSERT_TRUE(cds.Locate("CD", {Variant("3")}, {}));
    EXPECT_EQ(cds.FieldByName("NM").AsString(), kLong);
    EXPECT_EQ(cds.FieldByName("NR").AsInteger(), std::int64_t(3) << 50);
    ASSERT_TRUE(cds.Locate("CD", {Variant("1")}, {}));
    EXPECT_EQ(cds.FieldByName("NM").AsString(), "Feijão carioca, tipo 1, saco");
    EXPECT_TRUE(cds.FieldByName("NR").IsNull());

    // Under the index the appended row (the long name, the lowest quantity)
    // comes first among the long names.
    cds.SetIndexName("PorNome");
    ASSERT_TRUE(cds.Locate("NM", {Variant("Arroz")}, {LocateOption::PartialKey}));
    EXPECT_EQ(cds.FieldByName("CD").AsString(), "novo");
    cds.SetFilter("NM = 'Sal' AND QT >= 1000");
    cds.SetFiltered(true);
    EXPECT_EQ(cds.RecordCount(), 500);  // even codes from 2000 to 2998
    cds.First();
    EXPECT_EQ(cds.FieldByName("CD").AsString(), "2000");
}

// Integers beyond a double's 53 bits are distinct keys: they sort, filter and
// locate by their exact value.
TEST(CompactStorage, LargeIntegersCompareExactly) {
    const std::int64_t big = std::int64_t(1) << 53;
    TClientDataSet cds("cdsGrandes");
    cds.FieldDefs = {{"CD", FieldType::String, 10, false}, {"NR", FieldType::Integer, 0, false}};
    cds.IndexDefs = {{"PorNumero", "NR"}};
    cds.SetIndexName("PorNumero");
    cds.CreateDataSet();
    for (const auto& [cd, nr] : {std::pair{"b", big + 1}, {"a", big}, {"c", big + 2}}) {
        cds.Append();
        cds.FieldByName("CD").SetAsString(cd);
        cds.FieldByName("NR").SetAsInteger(nr);
        cds.Post();
    }
    ASSERT_TRUE(cds.Locate("NR", {Variant(big + 1)}, {}));
    EXPECT_EQ(cds.FieldByName("CD").AsString(), "b");
    cds.First();
    EXPECT_EQ(cds.FieldByName("CD").AsString(), "a");
    cds.SetFilter("NR > 9007199254740992");
    cds.SetFiltered(true);
    EXPECT_EQ(cds.RecordCount(), 2);
}

std::vector<std::string> readCodes(const TDataSet& set) {
    std::vector<std::string> out;
    for (auto rows = set.ReadRows(); rows.Next();) out.push_back(std::string(rows.View(0).text));
    return out;
}

std::vector<std::string> walkCodes(TDataSet& set) {
    std::vector<std::string> out;
    for (set.First(); !set.Eof(); set.Next()) out.push_back(set.Fields()[0]->AsString());
    return out;
}

// The reader sees what the cursor would walk, including rows posted out of
// order into a large indexed set (which wait aside until the cursor moves),
// without moving the cursor; a change ends the reading.
TEST(CompactStorage, RowReaderWalksTheVisibleOrderWithoutMovingTheCursor) {
    TClientDataSet cds("cdsLeitura");
    cds.FieldDefs = {{"CD", FieldType::String, 10, false}, {"NR", FieldType::Integer, 0, false}};
    cds.IndexDefs = {{"PorNumero", "NR"}};
    cds.SetIndexName("PorNumero");
    cds.CreateDataSet();
    for (int i = 0; i < 6000; ++i) {
        cds.Append();
        cds.FieldByName("CD").SetAsString("c" + std::to_string(i));
        cds.FieldByName("NR").SetAsInteger((i * 7919) % 6000);
        cds.Post();
    }
    const std::string current = cds.FieldByName("CD").AsString();
    const std::vector<std::string> read = readCodes(cds);
    EXPECT_EQ(cds.FieldByName("CD").AsString(), current);
    EXPECT_EQ(read, walkCodes(cds));

    cds.SetFilter("NR < 10");
    cds.SetFiltered(true);
    std::vector<Variant> row;
    int count = 0;
    for (auto rows = cds.ReadRows(); rows.Next(); ++count) {
        rows.Values(row);
        ASSERT_EQ(row.size(), 2u);
        EXPECT_EQ(row[1].toInt(), count);
        EXPECT_EQ(rows.Value(0).toString(), row[0].toString());
    }
    EXPECT_EQ(count, 10);

    auto rows = cds.ReadRows();
    ASSERT_TRUE(rows.Next());
    cds.SetFiltered(false);
    EXPECT_THROW(rows.Next(), EHostError);
    EXPECT_THROW(rows.Value(0), EHostError);
}

// What the set reports grows with its rows and comes back to (almost)
// nothing when it is emptied or closed, the texts' arena and the lookups
// included.
TEST(CompactStorage, EmptyingAndClosingGiveTheMemoryBack) {
    TClientDataSet cds("cdsMemoria");
    cds.FieldDefs = {{"CD", FieldType::String, 10, false}, {"NM", FieldType::String, 50, false}};
    auto fill = [&] {
        for (int i = 0; i < 20000; ++i) {
            cds.Append();
            cds.FieldByName("CD").SetAsString(std::to_string(i));
            cds.FieldByName("NM").SetAsString(kLong + " " + std::to_string(i));  // distinct long texts
            cds.Post();
        }
        ASSERT_TRUE(cds.Locate("NM", {Variant(kLong + " 7")}, {}));  // builds a lookup
    };
    cds.CreateDataSet();
    const std::size_t empty = cds.MemoryUsed();
    fill();
    const std::size_t full = cds.MemoryUsed();
    // Cells, texts and their lookup, the visible order, the Locate hash.
    EXPECT_GT(full, std::size_t(20000) * (2 * 8 + kLong.size() + 8));
    EXPECT_LT(full, std::size_t(20000) * 200);
    cds.EmptyDataSet();
    EXPECT_LE(cds.MemoryUsed(), empty + 1024);
    EXPECT_EQ(cds.RecordCount(), 0);
    fill();
    EXPECT_LE(cds.MemoryUsed(), full);
    cds.Close();
    EXPECT_LE(cds.MemoryUsed(), empty + 1024);
}

}  // namespace
