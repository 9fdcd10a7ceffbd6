// Utility functions of the host framework.

#include <gtest/gtest.h>

#include <sstream>

#include "host/Errors.h"
#include "host/Messages.h"
#include "host/Ports.h"
#include "host/Utils.h"
#include "platform/script/ScriptUi.h"

using namespace pla013::host;

TEST(HostUtils, AjustaPadsOnTheLeftWithZerosAndNeverCuts) {
    struct Case {
        const char* code;
        int width;
        const char* expected;
    } cases[] = {
        {"12", 4, "0012"}, {" 12 ", 4, "0012"}, {"0012", 4, "0012"}, {"12345", 4, "12345"},
        {"", 4, ""},       {"   ", 5, ""},      {"AB", 5, "000AB"},  {"1", 10, "0000000001"},
    };
    for (const auto& c : cases) EXPECT_EQ(Ajusta(c.code, c.width), c.expected) << c.code << "/" << c.width;
}

TEST(HostUtils, EmptyStringReplicateAndIif) {
    EXPECT_TRUE(EmptyString(""));
    EXPECT_TRUE(EmptyString("   "));
    EXPECT_FALSE(EmptyString(" 0 "));
    EXPECT_EQ(Replicate("Z", 7), "ZZZZZZZ");
    EXPECT_EQ(Replicate("Z", 0), "");
    EXPECT_EQ(Replicate("Z", -3), "");
    EXPECT_EQ(iif(true, std::string("P"), "F"), "P");
    EXPECT_EQ(iif(false, 1, 2), 2);
}

TEST(HostUtils, PictureLevels) {
    TDBPicture p({1, 2, 5});
    EXPECT_EQ(p.GetTtNiveis(), 3);
    EXPECT_EQ(p.TamAcNivel("1"), 1);
    EXPECT_EQ(p.TamAcNivel("2"), 2);
    EXPECT_EQ(p.TamAcNivel("3"), 5);
    EXPECT_EQ(p.TamAcNivel("0"), 0);
    EXPECT_EQ(p.TamAcNivel("7"), 5);
    EXPECT_EQ(p.TamAcNivel("x"), 0);
    EXPECT_TRUE(p.FillsLevels("9"));
    EXPECT_TRUE(p.FillsLevels("10"));
    EXPECT_TRUE(p.FillsLevels("10001"));
    EXPECT_FALSE(p.FillsLevels("100"));
    EXPECT_FALSE(p.FillsLevels(""));
}

TEST(HostUtils, MessagesByKeyAndFormatting) {
    TMessages m("msgPadrao");
    m.Add("NIVEL_INV", "Nível de ordenação deve estar entre 0 e %d.");
    m.Add("Arq_Rel_Err", "O arquivo '%s' não foi encontrado no diretório '%s'.");
    EXPECT_EQ(m.Msg("nivel_inv"), "Nível de ordenação deve estar entre 0 e %d.") << "keys ignore case";
    EXPECT_EQ(m.Msg("Fil_NCad"), "") << "a key the table lacks yields the empty text";
    EXPECT_EQ(Format(m.Msg("NIVEL_INV"), {Variant(3)}), "Nível de ordenação deve estar entre 0 e 3.");
    EXPECT_EQ(Format(m.Msg("Arq_Rel_Err"), {Variant("08"), Variant("/r")}),
              "O arquivo '08' não foi encontrado no diretório '/r'.");
    EXPECT_EQ(Format("%s e %s", {Variant("um")}), "um e %s") << "a placeholder without argument stays";
    EXPECT_EQ(Format("100%%", {}), "100%");
}

TEST(HostUtils, CheckResultServUnpacksSuccessAndReportsFailure) {
    std::ostringstream out, log;
    pla013::script::ScriptUi ui(out, log);
    Ports ports;
    ports.ui = &ui;
    Install(ports);

    auto packet = std::make_shared<DataPacket>();
    packet->fields = {{"CDPRATO", FieldType::String, 10}};
    Variant ok(std::vector<Variant>{Variant(0), Variant(""), Variant(std::shared_ptr<const DataPacket>(packet))});
    EXPECT_EQ(CheckResultServ(ok, true, 0).packet().get(), packet.get());

    Variant failed(std::vector<Variant>{Variant(3), Variant("Filial sem central.")});
    EXPECT_THROW(CheckResultServ(failed, true, 0), EAbort);
    EXPECT_EQ(ui.lines().back(), "message: Filial sem central.");
    EXPECT_TRUE(CheckResultServ(failed, false, 0).isNull());

    // Any other shape is the host's error, the same text for every one, and
    // what was wrong goes to the log.
    const Variant p{std::shared_ptr<const DataPacket>(packet)};
    const struct {
        Variant result;
        const char* logged;
    } malformed[] = {
        {Variant("lixo"), "não é uma lista"},
        {Variant(std::vector<Variant>{p, p}), "não é um número inteiro"},
        {Variant(std::vector<Variant>{p, Variant(""), p}), "não é um número inteiro"},
        {Variant(std::vector<Variant>{Variant(0), Variant("")}), "sucesso sem o pacote"},
        {Variant(std::vector<Variant>{Variant(0), Variant(""), Variant("x")}), "sucesso sem o pacote"},
        {Variant(std::vector<Variant>{Variant(2), p}), "não é um texto"},
        {Variant(std::vector<Variant>{Variant(0)}), "1 elementos"},
    };
    for (const auto& c : malformed) {
        log.str("");
        try {
            CheckResultServ(c.result, true, 0);
            ADD_FAILURE() << c.logged;
        } catch (const EHostError& e) {
            EXPECT_STREQ(e.what(), "Resposta inválida do servidor de aplicação.");
        }
        EXPECT_NE(log.str().find(c.logged), std::string::npos) << log.str();
    }
    Install(Ports{});
}
