#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "host/Data.h"
#include "host/Errors.h"

using namespace pla013::host;

namespace {

// A recipe-line shaped data set: key (CD, OWNER, SEQ) plus payload.
std::unique_ptr<TClientDataSet> recipeSet(bool indexed) {
    auto cds = std::make_unique<TClientDataSet>("cdsLinhas");
    cds->FieldDefs = {{"CD", FieldType::String, 10, false},
                      {"OWNER", FieldType::String, 4, false},
                      {"SEQ", FieldType::Integer, 0, false},
                      {"NM", FieldType::String, 40, false},
                      {"QT", FieldType::Float, 0, false}};
    cds->IndexDefs = {{"IdxLinha", "CD;OWNER;SEQ"}};
    if (indexed) cds->SetIndexName("IdxLinha");
    cds->CreateDataSet();
    return cds;
}

void add(TClientDataSet& cds, const Variant& cd, const Variant& owner, const Variant& seq, const Variant& nm,
         const Variant& qt = Variant::null()) {
    cds.Insert();
    cds.FieldByName("CD").SetValue(cd);
    cds.FieldByName("OWNER").SetValue(owner);
    cds.FieldByName("SEQ").SetValue(seq);
    cds.FieldByName("NM").SetValue(nm);
    cds.FieldByName("QT").SetValue(qt);
    cds.Post();
}

// The visible rows, one "CD|OWNER|SEQ|NM" text each, in cursor order.
std::vector<std::string> walk(TClientDataSet& cds, const char* field = nullptr) {
    std::vector<std::string> out;
    for (cds.First(); !cds.Eof(); cds.Next()) {
        if (field) {
            out.push_back(cds.FieldByName(field).AsString());
            continue;
        }
        out.push_back(cds.FieldByName("CD").AsString() + "|" + cds.FieldByName("OWNER").AsString() + "|" +
                      cds.FieldByName("SEQ").AsString() + "|" + cds.FieldByName("NM").AsString());
    }
    return out;
}

DataPacket samplePacket() {
    DataPacket p;
    p.fields = {{"CDPRATO", FieldType::String, 10, false},
                {"NRSEQ", FieldType::Integer, 0, false},
                {"QTBRUT", FieldType::Float, 0, false},
                {"DTMENU", FieldType::Date, 0, false}};
    p.rows = {{Variant("001"), Variant(1), Variant(2.5), Variant::date(EncodeDate(2024, 2, 29))},
              {Variant::null(), Variant::null(), Variant::null(), Variant::null()},
              {Variant("D'Ávila"), Variant(-3), Variant(0.1), Variant::null()}};
    return p;
}

TEST(ClientDataSet, PacketRoundTripKeepsNullsAndKinds) {
    TClientDataSet cds("cdsPratos");
    const DataPacket in = samplePacket();
    cds.SetData(in);
    ASSERT_TRUE(cds.Active());
    ASSERT_EQ(cds.RecordCount(), 3);
    const DataPacket out = cds.Data();
    ASSERT_EQ(out.fields.size(), in.fields.size());
    for (std::size_t i = 0; i < in.fields.size(); ++i) {
        EXPECT_EQ(out.fields[i].name, in.fields[i].name);
        EXPECT_EQ(out.fields[i].type, in.fields[i].type);
        EXPECT_EQ(out.fields[i].size, in.fields[i].size);
    }
    EXPECT_EQ(out.rows, in.rows);
    EXPECT_EQ(cds.FieldDefs.size(), 4u);

    cds.MoveTo(1);
    for (const auto& f : cds.Fields()) EXPECT_TRUE(f->IsNull()) << f->FieldName();
    EXPECT_EQ(cds.FieldByName("QTBRUT").AsFloat(), 0.0);
    EXPECT_EQ(cds.FieldByName("CDPRATO").AsString(), "");
    cds.First();
    EXPECT_EQ(cds.FieldByName("dtmenu").AsDateTime(), EncodeDate(2024, 2, 29));
    EXPECT_EQ(cds.FieldByName("QTBRUT").AsString(), "2.5");

    // Values of another kind are converted to the field's kind on load.
    DataPacket loose = in;
    loose.rows[0][1] = Variant("7");
    loose.rows[0][2] = Variant(4);
    cds.SetData(loose);
    EXPECT_EQ(cds.Data().rows[0][1], Variant(7));
    EXPECT_EQ(cds.Data().rows[0][2].kind(), Variant::Kind::Float);
}

TEST(ClientDataSet, BadPacketIsRefusedAndTheOldContentStays) {
    TClientDataSet cds("cdsPratos");
    cds.SetData(samplePacket());
    DataPacket shortRow = samplePacket();
    shortRow.rows[2].pop_back();
    EXPECT_THROW(cds.SetData(shortRow), EHostError);
    DataPacket badNumber = samplePacket();
    badNumber.rows[0][1] = Variant("um");
    try {
        cds.SetData(badNumber);
        FAIL() << "a text that is no number was loaded into an integer field";
    } catch (const EHostError& e) {
        EXPECT_NE(std::string(e.what()).find("cdsPratos"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("NRSEQ"), std::string::npos) << e.what();
    }
    EXPECT_EQ(cds.Data().rows, samplePacket().rows);
}

TEST(ClientDataSet, FieldObjectsSurviveReloads) {
    TClientDataSet cds("cdsPratos");
    cds.SetData(samplePacket());
    TField* cd = &cds.FieldByName("CDPRATO");
    cds.SetData(samplePacket());
    EXPECT_EQ(cd, &cds.FieldByName("CDPRATO"));
    EXPECT_EQ(cd->AsString(), "001");
    EXPECT_THROW(cds.FieldByName("NOPE"), EHostError);
    EXPECT_EQ(cds.FindField("NOPE"), nullptr);
}

TEST(ClientDataSet, IndexOrdersNullsFirstBytewiseAndKeepsInsertionOrderOfEqualKeys) {
    auto cds = recipeSet(true);
    add(*cds, "b", "P", 1, "first b");
    add(*cds, "B", "P", 1, "upper B");
    add(*cds, "b", "P", 1, "second b");
    add(*cds, Variant::null(), "P", 1, "null code");
    add(*cds, "a", "P", 2, "a2");
    add(*cds, "a", "P", 10, "a10");
    add(*cds, "a", Variant::null(), 5, "a null owner");
    add(*cds, "\xC3\xA9", "P", 1, "e acute");  // UTF-8 bytes sort after ASCII
    add(*cds, "b", "P", 1, "third b");
    const std::vector<std::string> expected = {"|P|1|null code", "B|P|1|upper B", "a||5|a null owner",
                                               "a|P|2|a2",       "a|P|10|a10",    "b|P|1|first b",
                                               "b|P|1|second b", "b|P|1|third b", "\xC3\xA9|P|1|e acute"};
    EXPECT_EQ(walk(*cds), expected);

    // Dropping the index shows storage (insertion) order; choosing it again re-sorts.
    cds->SetIndexName("");
    EXPECT_EQ(walk(*cds, "NM").front(), "first b");
    cds->SetIndexName("idxlinha");
    EXPECT_EQ(walk(*cds), expected);
    EXPECT_THROW(cds->SetIndexName("IdxNada"), EHostError);
    EXPECT_EQ(walk(*cds), expected);
}

TEST(ClientDataSet, PostPutsTheNewRowInIndexOrderWithTheCursorOnIt) {
    auto cds = recipeSet(true);
    add(*cds, "001", "P", 1, "x");
    add(*cds, "003", "P", 1, "y");
    add(*cds, "002", "P", 1, "z");
    EXPECT_EQ(cds->RecNo(), 2);
    EXPECT_EQ(cds->FieldByName("NM").AsString(), "z");
    EXPECT_FALSE(cds->Eof());
    cds->Next();
    EXPECT_EQ(cds->FieldByName("CD").AsString(), "003");
    cds->Next();
    EXPECT_TRUE(cds->Eof());
    EXPECT_EQ(cds->FieldByName("CD").AsString(), "003");
}

// Many posts in random key order, mixed with locates, edits and cursor moves,
// against a reference sort: exercises the deferred merge of large sets.
TEST(ClientDataSet, LargeRandomInsertsMatchAReferenceSort) {
    auto cds = recipeSet(true);
    std::mt19937 rng(1234);
    struct Ref {
        std::string cd;
        int seq;
        std::size_t order;
    };
    std::vector<Ref> ref;
    const int n = 30000;
    for (int i = 0; i < n; ++i) {
        const std::string cd = std::to_string(100000 + rng() % 5000);
        const int seq = int(rng() % 3);
        add(*cds, cd, "P", seq, std::to_string(i));
        ref.push_back({cd, seq, std::size_t(i)});
        ASSERT_EQ(cds->FieldByName("NM").AsString(), std::to_string(i));
        if (i % 997 == 0) {
            // RecNo of the row just posted equals its place in the reference order.
            const int before = int(std::count_if(ref.begin(), ref.end(), [&](const Ref& r) {
                return std::tie(r.cd, r.seq, r.order) < std::tie(cd, seq, ref.back().order);
            }));
            ASSERT_EQ(cds->RecNo(), before + 1);
            cds->Next();
            if (!cds->Eof()) {
                const std::string next = cds->FieldByName("CD").AsString();
                ASSERT_GE(next, cd);
            }
        }
        if (i % 1009 == 0) {
            const Ref& pick = ref[rng() % ref.size()];
            ASSERT_TRUE(cds->Locate("CD;OWNER;SEQ", {Variant(pick.cd), Variant("p"), Variant(pick.seq)},
                                    {LocateOption::CaseInsensitive}));
            ASSERT_EQ(cds->FieldByName("CD").AsString(), pick.cd);
            cds->Edit();
            cds->FieldByName("QT").SetAsFloat(1.5);
            cds->Post();
            ASSERT_EQ(cds->FieldByName("QT").AsFloat(), 1.5);
        }
    }
    std::stable_sort(ref.begin(), ref.end(),
                     [](const Ref& a, const Ref& b) { return std::tie(a.cd, a.seq) < std::tie(b.cd, b.seq); });
    ASSERT_EQ(cds->RecordCount(), n);
    int i = 0;
    for (cds->First(); !cds->Eof(); cds->Next(), ++i)
        ASSERT_EQ(cds->FieldByName("NM").AsString(), std::to_string(ref[std::size_t(i)].order)) << i;
    EXPECT_EQ(i, n);
    EXPECT_EQ(cds->Snapshot().rows.size(), std::size_t(n));
}

TEST(ClientDataSet, FilterCombinesComparisons) {
    auto cds = recipeSet(false);
    add(*cds, "001", "P", 1, "Arroz", 2.5);
    add(*cds, "001", "0012", 2, "Feijão", 1.0);
    add(*cds, "002", "P", 1, "arroz", Variant::null());
    add(*cds, "003", "P", 3, "Sal", 0.25);
    struct Row {
        const char* filter;
        std::vector<std::string> names;
    };
    const Row rows[] = {
        {"CD = '001'", {"Arroz", "Feijão"}},
        {"cd = '001' and owner = 'P'", {"Arroz"}},
        {"CD = '001'AND OWNER = 'P'", {"Arroz"}},  // no blank after the literal
        {"CD = '001'AND OWNER ='0012'", {"Feijão"}},
        {"CD = '002' OR SEQ = 3", {"arroz", "Sal"}},
        {"NOT (CD = '001') AND (SEQ >= 1)", {"arroz", "Sal"}},
        {"NM = 'arroz'", {"arroz"}},  // text compares case-sensitively
        {"NM > 'Z'", {"arroz"}},      // ordinal: lower case after upper case
        {"QT < 2", {"Feijão", "Sal"}},
        {"QT <> 1", {"Arroz", "Sal"}},  // a null quantity matches no comparison
        {"QT <= 0.25 OR QT > 2.4", {"Arroz", "Sal"}},
        {"SEQ = '2'", {"Feijão"}},
        {"CD = '009'", {}},
        {"  ", {"Arroz", "Feijão", "arroz", "Sal"}},
    };
    cds->SetFiltered(true);
    for (const auto& r : rows) {
        cds->SetFilter(r.filter);
        EXPECT_EQ(walk(*cds, "NM"), r.names) << r.filter;
        EXPECT_EQ(cds->RecordCount(), int(r.names.size())) << r.filter;
    }
    cds->SetFilter("CD = '001'");
    cds->SetFiltered(false);
    EXPECT_EQ(cds->RecordCount(), 4);
    cds->SetFiltered(true);
    EXPECT_EQ(cds->RecordCount(), 2);
}

TEST(ClientDataSet, QuotesInFilterValues) {
    auto cds = recipeSet(false);
    add(*cds, "1", "P", 1, "D'Ávila");
    add(*cds, "2", "P", 1, "X' OR 'a'='a");
    add(*cds, "3", "P", 1, "Outro");
    cds->SetFiltered(true);

    cds->SetFilter("NM = 'D''Ávila'");
    EXPECT_EQ(walk(*cds, "CD"), std::vector<std::string>{"1"});

    // A doubled value that tries to widen the filter matches only itself.
    cds->SetFilter("NM = 'X'' OR ''a''=''a'");
    EXPECT_EQ(walk(*cds, "CD"), std::vector<std::string>{"2"});

    // Pasted without doubling, it is an error, never a wider filter.
    EXPECT_THROW(cds->SetFilter("NM = 'X' OR 'a'='a'"), EHostError);
    EXPECT_THROW(cds->SetFilter("NM = 'D'Ávila'"), EHostError);
    EXPECT_EQ(walk(*cds, "CD"), std::vector<std::string>{"2"});  // the previous filter stays
}

TEST(ClientDataSet, BadFiltersNameTheDataSet) {
    auto cds = recipeSet(false);
    add(*cds, "1", "P", 1, "a");
    cds->SetFiltered(true);
    const char* bad[] = {"CD = ",       "CD = 'x",      "(CD = 'x'", "CD 'x'",        "CD = 'x' AND",
                         "CD == 'x'",   "CD = 'x' 'y'", "= 'x'",     "CD = 'x' ; --", "ZZ = 'x'",
                         "SEQ = 'abc'", "CD = 'x' OR",  "AND",       "CD = 'x')"};
    for (const char* f : bad) {
        try {
            cds->SetFilter(f);
            ADD_FAILURE() << "accepted: " << f;
        } catch (const EHostError& e) {
            EXPECT_NE(std::string(e.what()).find("cdsLinhas"), std::string::npos) << e.what();
        }
        EXPECT_EQ(cds->RecordCount(), 1) << f;
    }
    // An unknown field is also caught when the filter is switched on later.
    cds->SetFiltered(false);
    cds->SetFilter("ZZ = 'x'");
    EXPECT_THROW(cds->SetFiltered(true), EHostError);
    EXPECT_FALSE(cds->Filtered());
    EXPECT_EQ(cds->RecordCount(), 1);
}

TEST(ClientDataSet, PostedRowsFollowTheFilter) {
    auto cds = recipeSet(true);
    add(*cds, "001", "P", 1, "a");
    add(*cds, "001", "P", 2, "b");
    add(*cds, "001", "P", 3, "c");
    cds->SetFiltered(true);
    cds->SetFilter("CD = '001'");
    ASSERT_EQ(cds->RecordCount(), 3);

    add(*cds, "002", "P", 1, "hidden");
    EXPECT_EQ(cds->RecordCount(), 3);
    add(*cds, "001", "P", 0, "zero");
    EXPECT_EQ(cds->RecordCount(), 4);
    EXPECT_EQ(cds->RecNo(), 1);

    ASSERT_TRUE(cds->Locate("SEQ", {Variant(2)}, {}));
    cds->Edit();
    cds->FieldByName("CD").SetAsString("009");
    cds->Post();
    EXPECT_EQ(walk(*cds, "NM"), (std::vector<std::string>{"zero", "a", "c"}));

    cds->SetFiltered(false);
    EXPECT_EQ(walk(*cds, "NM"), (std::vector<std::string>{"zero", "a", "c", "hidden", "b"}));
}

TEST(ClientDataSet, LocateIgnoresCaseOnRequestAndSeesOnlyVisibleRows) {
    auto cds = recipeSet(true);
    add(*cds, "ABC", "P", 1, "upper");
    add(*cds, "abc", "P", 1, "lower");
    add(*cds, "XyZ", "0012", 2, "mixed");
    add(*cds, "Abd", "P", 1, "prefix");
    cds->First();

    EXPECT_FALSE(cds->Locate("CD;OWNER;SEQ", {Variant("xyz"), Variant("0012"), Variant(2)}, {}));
    EXPECT_EQ(cds->RecNo(), 1);  // not found: the cursor stays
    ASSERT_TRUE(
        cds->Locate("cd;owner;seq", {Variant("xyz"), Variant("0012"), Variant(2)}, {LocateOption::CaseInsensitive}));
    EXPECT_EQ(cds->FieldByName("NM").AsString(), "mixed");
    // Key values convert to the field's kind: text "2" finds integer 2.
    ASSERT_TRUE(cds->Locate("CD;SEQ", {Variant("XyZ"), Variant("2")}, {}));
    EXPECT_EQ(cds->FieldByName("NM").AsString(), "mixed");

    // Two rows equal but for case: the first in index order wins.
    ASSERT_TRUE(cds->Locate("CD", {Variant("aBc")}, {LocateOption::CaseInsensitive}));
    EXPECT_EQ(cds->FieldByName("NM").AsString(), "upper");
    ASSERT_TRUE(cds->Locate("CD", {Variant("abc")}, {}));
    EXPECT_EQ(cds->FieldByName("NM").AsString(), "lower");

    ASSERT_TRUE(cds->Locate("CD", {Variant("ab")}, {LocateOption::PartialKey}));
    EXPECT_EQ(cds->FieldByName("NM").AsString(), "lower");
    ASSERT_TRUE(cds->Locate("CD", {Variant("ab")}, {LocateOption::PartialKey, LocateOption::CaseInsensitive}));
    EXPECT_EQ(cds->FieldByName("NM").AsString(), "upper");
    EXPECT_FALSE(cds->Locate("CD", {Variant("abcd")}, {LocateOption::PartialKey}));

    cds->SetFiltered(true);
    cds->SetFilter("NM <> 'upper'");
    ASSERT_TRUE(cds->Locate("CD", {Variant("ABC")}, {LocateOption::CaseInsensitive}));
    EXPECT_EQ(cds->FieldByName("NM").AsString(), "lower");
    EXPECT_FALSE(cds->Locate("CD", {Variant("ABC")}, {}));

    EXPECT_THROW(cds->Locate("CD;NOPE", {Variant("a"), Variant("b")}, {}), EHostError);
    EXPECT_THROW(cds->Locate("CD;SEQ", {Variant("a")}, {}), EHostError);
    EXPECT_THROW(cds->Locate("SEQ", {Variant("dois")}, {}), EHostError);
}

TEST(ClientDataSet, LocateFollowsEditedKeysAndNulls) {
    auto cds = recipeSet(true);
    add(*cds, "001", "P", 1, "a");
    add(*cds, "002", Variant::null(), 1, "b");
    ASSERT_TRUE(cds->Locate("CD;OWNER", {Variant("002"), Variant::null()}, {}));
    EXPECT_EQ(cds->FieldByName("NM").AsString(), "b");
    ASSERT_TRUE(cds->Locate("CD", {Variant("001")}, {LocateOption::CaseInsensitive}));
    cds->Edit();
    cds->FieldByName("CD").SetAsString("005");
    cds->Post();
    EXPECT_FALSE(cds->Locate("CD", {Variant("001")}, {LocateOption::CaseInsensitive}));
    ASSERT_TRUE(cds->Locate("CD", {Variant("005")}, {LocateOption::CaseInsensitive}));
    EXPECT_EQ(cds->RecNo(), 2);  // moved after "002" in index order
    cds->Delete();
    EXPECT_FALSE(cds->Locate("CD", {Variant("005")}, {}));
    ASSERT_TRUE(cds->Locate("CD", {Variant("002")}, {}));
    EXPECT_EQ(cds->FieldByName("NM").AsString(), "b");
}

TEST(ClientDataSet, EditPostCancelAndStates) {
    auto cds = recipeSet(true);
    EXPECT_EQ(cds->State(), TDataSetState::dsBrowse);
    EXPECT_TRUE(cds->IsEmpty());
    EXPECT_THROW(cds->FieldByName("NM").SetAsString("x"), EHostError);

    cds->Edit();  // on an empty set, Edit starts an insert
    EXPECT_EQ(cds->State(), TDataSetState::dsInsert);
    cds->FieldByName("CD").SetAsString("001");
    cds->FieldByName("SEQ").SetAsInteger(1);
    cds->FieldByName("NM").SetAsString("Arroz");
    cds->Post();
    EXPECT_EQ(cds->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(cds->RecordCount(), 1);

    cds->Edit();
    EXPECT_EQ(cds->State(), TDataSetState::dsEdit);
    cds->FieldByName("NM").SetAsString("Feijão");
    EXPECT_EQ(cds->FieldByName("NM").AsString(), "Feijão");  // the edit buffer is what fields read
    cds->Cancel();
    EXPECT_EQ(cds->FieldByName("NM").AsString(), "Arroz");

    // Moving the cursor posts a pending insert.
    cds->Insert();
    cds->FieldByName("CD").SetAsString("000");
    cds->FieldByName("QT").SetAsString("1,25");
    cds->First();
    EXPECT_EQ(cds->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(cds->RecordCount(), 2);
    EXPECT_EQ(cds->FieldByName("QT").AsFloat(), 1.25);

    cds->Edit();
    cds->FieldByName("QT").SetAsString("  ");  // empty text clears a number
    EXPECT_TRUE(cds->FieldByName("QT").IsNull());
    EXPECT_THROW(cds->FieldByName("SEQ").SetAsString("um"), EHostError);
    cds->Post();

    // A text longer than the field's width is kept whole.
    const std::string longName(60, 'x');
    cds->Edit();
    cds->FieldByName("NM").SetAsString(longName);
    cds->Post();
    EXPECT_EQ(cds->FieldByName("NM").AsString(), longName);

    cds->Insert();
    cds->Delete();  // deleting an insert cancels it
    EXPECT_EQ(cds->RecordCount(), 2);
    cds->Last();
    cds->Delete();
    EXPECT_EQ(cds->RecordCount(), 1);
    EXPECT_TRUE(cds->Eof());
    cds->Delete();
    EXPECT_TRUE(cds->IsEmpty());
    EXPECT_THROW(cds->Delete(), EHostError);
}

TEST(ClientDataSet, RequiredFieldsAndLifecycle) {
    TClientDataSet cds("cdsFiliais");
    EXPECT_THROW(cds.CreateDataSet(), EHostError);
    EXPECT_THROW(cds.EmptyDataSet(), EHostError);
    EXPECT_THROW(cds.Insert(), EHostError);
    EXPECT_TRUE(cds.IsEmpty());
    EXPECT_TRUE(cds.Eof());

    cds.FieldDefs = {{"CDFILIAL", FieldType::String, 4, true}, {"NMFILIAL", FieldType::String, 30, false}};
    cds.Open();
    cds.Insert();
    cds.FieldByName("NMFILIAL").SetAsString("Central");
    try {
        cds.Post();
        FAIL() << "posted without a required field";
    } catch (const EHostError& e) {
        EXPECT_NE(std::string(e.what()).find("CDFILIAL"), std::string::npos);
    }
    EXPECT_EQ(cds.State(), TDataSetState::dsInsert);
    cds.FieldByName("CDFILIAL").SetAsString("0001");
    cds.Post();
    EXPECT_EQ(cds.RecordCount(), 1);

    cds.EmptyDataSet();
    EXPECT_TRUE(cds.IsEmpty());
    EXPECT_TRUE(cds.Active());
    cds.Close();
    EXPECT_FALSE(cds.Active());
    EXPECT_TRUE(cds.FieldByName("CDFILIAL").IsNull());  // a closed set reads Null
    cds.Open();
    EXPECT_TRUE(cds.IsEmpty());
}

TEST(ClientDataSet, NavigationFlags) {
    auto cds = recipeSet(false);
    cds->First();
    EXPECT_TRUE(cds->Eof());
    EXPECT_TRUE(cds->Bof());
    EXPECT_EQ(cds->RecNo(), 0);
    add(*cds, "1", "P", 1, "a");
    add(*cds, "2", "P", 1, "b");
    cds->First();
    EXPECT_TRUE(cds->Bof());
    EXPECT_FALSE(cds->Eof());
    cds->Prior();
    EXPECT_TRUE(cds->Bof());
    EXPECT_EQ(cds->RecNo(), 1);
    cds->Last();
    EXPECT_TRUE(cds->Eof());
    EXPECT_EQ(cds->RecNo(), 2);
    cds->Prior();
    EXPECT_FALSE(cds->Eof());
    EXPECT_EQ(cds->FieldByName("CD").AsString(), "1");
    EXPECT_THROW(cds->MoveTo(2), EHostError);
    cds->MoveTo(1);
    EXPECT_EQ(cds->FieldByName("CD").AsString(), "2");
}

}  // namespace
