// Parameter passing and field mapping of the lookup query. The database here
// is a recording stand-in; running real SQL is covered with the SQLite adapter.
#include <gtest/gtest.h>

#include "host/Data.h"
#include "host/Errors.h"
#include "host/Ports.h"

using namespace pla013::host;

namespace {

class RecordingDatabase : public IDatabase {
public:
    DataPacket Open(const QueryRequest& request) override {
        requests.push_back(request);
        return answer;
    }
    std::vector<QueryRequest> requests;
    DataPacket answer;
};

class QueryTest : public ::testing::Test {
protected:
    void SetUp() override {
        Ports ports;
        ports.database = &db;
        Install(ports);
        db.answer.fields = {{"CDPRATO", FieldType::String, 10, false},
                            {"NMPRATO", FieldType::String, 40, false},
                            {"CDNVPRATO", FieldType::Integer, 0, false}};
        db.answer.rows = {{Variant("001"), Variant("Arroz"), Variant(1)},
                          {Variant("00101"), Variant::null(), Variant(2)}};
    }
    void TearDown() override { Install(Ports{}); }
    RecordingDatabase db;
};

TEST_F(QueryTest, SendsTextsAndParametersInListOrder) {
    TADOIBQuery qry("qryPrato");
    qry.SQL.generic = "SELECT 1";
    qry.SQL.oracle = "SELECT 2 FROM DUAL";
    qry.Params().CreateParam(FieldType::String, "P_CDFILAUXPRAT");
    qry.Params().CreateParam(FieldType::String, "P_CDPRATO");
    qry.Params().CreateParam(FieldType::String, "P_TCDPRATO");
    qry.ParamByName("p_tcdprato").SetAsString("T");
    qry.ParamByName("P_CDFILAUXPRAT").SetAsString("0012");
    qry.ParamByName("P_CDPRATO").Clear();
    qry.Open();

    ASSERT_EQ(db.requests.size(), 1u);
    const QueryRequest& r = db.requests[0];
    EXPECT_EQ(r.name, "qryPrato");
    EXPECT_EQ(r.sql.generic, "SELECT 1");
    EXPECT_EQ(r.sql.oracle, "SELECT 2 FROM DUAL");
    ASSERT_EQ(r.params.size(), 3u);
    EXPECT_EQ(r.params[0].first, "P_CDFILAUXPRAT");
    EXPECT_EQ(r.params[0].second, Variant("0012"));
    EXPECT_EQ(r.params[1].first, "P_CDPRATO");
    EXPECT_TRUE(r.params[1].second.isNull());
    EXPECT_EQ(r.params[2].second, Variant("T"));

    EXPECT_FALSE(qry.IsEmpty());
    EXPECT_EQ(qry.RecordCount(), 2);
    EXPECT_EQ(qry.FieldByName("NMPRATO").AsString(), "Arroz");

    try {
        qry.ParamByName("P_CDPRATO");
        FAIL() << "a parameter changed while the query was open";
    } catch (const EHostError& e) {
        EXPECT_NE(std::string(e.what()).find("os parâmetros só mudam com a consulta fechada"), std::string::npos);
    }
    qry.Close();
    EXPECT_THROW(qry.ParamByName("P_NADA"), EHostError);
}

// A name listed twice (two occurrences in one dialect's text) is bound to
// the value set through ParamByName at every occurrence.
TEST_F(QueryTest, RepeatedParameterNamesShareTheValue) {
    TADOIBQuery qry("qryCentral");
    qry.Params().CreateParam(FieldType::String, "P_CDFILIAL");
    qry.Params().CreateParam(FieldType::String, "P_CDFILIAL");
    qry.Params().CreateParam(FieldType::String, "P_OUTRO");
    qry.ParamByName("P_CDFILIAL").SetAsString("0001");
    qry.Open();
    const auto& params = db.requests.at(0).params;
    ASSERT_EQ(params.size(), 3u);
    EXPECT_EQ(params[0].second, Variant("0001"));
    EXPECT_EQ(params[1].second, Variant("0001"));
    EXPECT_TRUE(params[2].second.isNull());  // never set: Null, not a stale value
}

TEST_F(QueryTest, PersistentFieldsMapByNameAndKeepTheirAttributes) {
    TADOIBQuery qry("qryPrato");
    TField* cd = qry.AddPersistentField({"CDPRATO", FieldType::String, 10, true}, "Código", 15);
    TField* nivel = qry.AddPersistentField({"cdnvprato", FieldType::String, 1, false}, "", 0, false);
    qry.Open();
    ASSERT_EQ(qry.Fields().size(), 2u);  // only the persistent fields, in their order
    EXPECT_EQ(&qry.FieldByName("CDPRATO"), cd);
    EXPECT_EQ(cd->DisplayLabel, "Código");
    EXPECT_EQ(cd->DisplayWidth, 15);
    EXPECT_FALSE(nivel->Visible);
    EXPECT_EQ(nivel->AsString(), "1");  // integer column read into a text field
    EXPECT_EQ(qry.FindField("NMPRATO"), nullptr);
    qry.Next();
    EXPECT_EQ(cd->AsString(), "00101");
    EXPECT_EQ(nivel->AsInteger(), 2);
    EXPECT_THROW(cd->SetAsString("x"), EHostError);  // lookups are read-only

    qry.Close();
    EXPECT_TRUE(cd->IsNull());
    db.answer.rows.clear();
    qry.Open();
    EXPECT_TRUE(qry.IsEmpty());
    EXPECT_TRUE(qry.Eof());
    EXPECT_EQ(&qry.FieldByName("CDPRATO"), cd);
    EXPECT_EQ(cd->DisplayLabel, "Código");
}

TEST_F(QueryTest, MissingPersistentFieldNamesQueryAndField) {
    TADOIBQuery qry("qryTipoCard");
    qry.AddPersistentField({"CDTIPOCARD", FieldType::String, 10, true});
    try {
        qry.Open();
        FAIL() << "opened without its persistent field";
    } catch (const EHostError& e) {
        const std::string m = e.what();
        EXPECT_NE(m.find("qryTipoCard"), std::string::npos) << m;
        EXPECT_NE(m.find("CDTIPOCARD"), std::string::npos) << m;
    }
    EXPECT_FALSE(qry.Active());
}

TEST_F(QueryTest, WithoutPersistentFieldsEveryColumnIsAField) {
    TADOIBQuery qry("qryCentral");
    qry.Open();
    ASSERT_EQ(qry.Fields().size(), 3u);
    EXPECT_EQ(qry.FieldByName("cdnvprato").DataType(), FieldType::Integer);
    EXPECT_TRUE(qry.FieldByName("NMPRATO").IsNull() == false);
    qry.Last();
    EXPECT_TRUE(qry.FieldByName("NMPRATO").IsNull());

    Install(Ports{});
    TADOIBQuery orphan("qryVdFilial");
    EXPECT_THROW(orphan.Open(), EHostError);  // no database installed: a clear error
    EXPECT_FALSE(orphan.Active());
}

}  // namespace
