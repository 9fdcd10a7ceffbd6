// Module entry and report launch: presentations, the created-once rule and
// the failure rules, on a real database and application server.

#include <gtest/gtest.h>

#include "FormHarness.h"
#include "form/TfrmRelatPrato.h"
#include "host/Errors.h"
#include "platform/db/SociDatabase.h"
#include "shell/Cli_pla01303.h"

using pla013test::contains;
using pla013test::FormHarness;

namespace {

TEST(Launch, PresentationFollowsTheArgument) {
    struct Case {
        const char* step;
        const char* caption;
        const char* presentation;
        const char* branch;
    } cases[] = {
        {"launch", "Emissão das Receitas", "child", "0001"},
        {"launch-branch 0012", "Prato", "modal", "0012"},
        {"launch-branch 001234", "Prato", "modal", "0012"},
        {"launch-branch 12", "Prato", "modal", "12"},
    };
    for (const auto& c : cases) {
        FormHarness h;
        auto r = h.run(std::string(c.step) + "\ndump-form\nclose\n");
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string expected = std::string("{\"Caption\":\"") + c.caption + "\",\"Presentation\":\"" +
                                     c.presentation + "\",\"FCdFilial\":\"" + c.branch + "\"";
        bool found = false;
        for (const auto& l : r.lines) found = found || l.rfind(expected, 0) == 0;
        EXPECT_TRUE(found) << c.step << " gave:\n" << ::testing::PrintToString(r.lines);
    }
}

TEST(Launch, BorderAndIconsOfEachPresentation) {
    FormHarness child;
    child.run("launch\n");
    ASSERT_NE(child.form(), nullptr);
    EXPECT_EQ(child.form()->BorderStyle(), pla013::host::TBorderStyle::bsSingle);
    EXPECT_FALSE(child.form()->BorderIcons().count(pla013::host::TBorderIcon::biMaximize));
    EXPECT_EQ(child.form()->FormStyle(), pla013::host::TFormStyle::fsMDIChild);

    FormHarness modal;
    pla013::TfrmRelatPrato* seen = nullptr;
    modal.ui().modalLoop = [&](pla013::host::TForm& f) {
        seen = static_cast<pla013::TfrmRelatPrato*>(&f);
        EXPECT_EQ(seen->BorderStyle(), pla013::host::TBorderStyle::bsDialog);
        EXPECT_TRUE(seen->BorderIcons().count(pla013::host::TBorderIcon::biMaximize));
        EXPECT_EQ(seen->GetPresentation(), pla013::host::Presentation::Modal);
        seen->Close();
    };
    modal.run("launch-branch 0003\n");
    EXPECT_NE(seen, nullptr);
    EXPECT_FALSE(pla013::FormCriado) << "the modal call returns after the form closed";
}

TEST(Launch, CreatedOnceWhileOpenAndAfreshAfterClose) {
    FormHarness h;
    auto r = h.run(
        "launch\n"
        "type medCdPratoIni 10\n"
        "launch\n"
        "launch-branch 0002\n"
        "dump-form\n"
        "dump medCdPratoIni\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(pla013test::withPrefix(r.lines, "{\"Caption\"").size(), 1u);
    EXPECT_TRUE(r.lines.size() >= 2);
    EXPECT_NE(r.lines[r.lines.size() - 2].find("\"FCdFilial\":\"0001\""), std::string::npos)
        << "the second call keeps the first branch";
    EXPECT_NE(r.lines.back().find("\"Text\":\"10\""), std::string::npos)
        << "the filters stay as the user left them: " << r.lines.back();

    r = h.run("close\ndump-form\nlaunch-branch 0002\ndump-form\nclose\nlaunch\ndump-form\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.lines, "{\"FormCriado\":false}"));
    auto forms = pla013test::withPrefix(r.lines, "{\"Caption\"");
    ASSERT_EQ(forms.size(), 2u);
    EXPECT_NE(forms[0].find("\"Presentation\":\"modal\",\"FCdFilial\":\"0002\""), std::string::npos) << forms[0];
    EXPECT_NE(forms[1].find("\"Presentation\":\"child\",\"FCdFilial\":\"0001\""), std::string::npos) << forms[1];
}

TEST(Launch, ShownAgainWhileModalItStaysModal) {
    FormHarness h;
    auto r = h.run("launch-branch 0002\nlaunch\ndump-form\n");
    ASSERT_EQ(r.status, 0) << r.err;
    auto forms = pla013test::withPrefix(r.lines, "{\"Caption\"");
    ASSERT_EQ(forms.size(), 1u);
    EXPECT_NE(forms[0].find("\"Presentation\":\"modal\""), std::string::npos) << forms[0];
}

TEST(Launch, AFailedCreationLeavesNoFormAndTheNextCallRetries) {
    FormHarness h;
    h.session().database().execute("ALTER TABLE FILIAL RENAME TO FILIAL_FORA");
    auto r = h.run("launch\ndump-form\n");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_FALSE(pla013test::withPrefix(r.lines, "message: ").empty()) << "the failure reaches the user";
    EXPECT_NE(r.lines[0].find("qryCentral"), std::string::npos) << r.lines[0];
    EXPECT_EQ(r.lines.back(), "{\"FormCriado\":false}");

    h.session().database().execute("ALTER TABLE FILIAL_FORA RENAME TO FILIAL");
    r = h.run("launch\ndump-form\n");
    EXPECT_NE(r.lines.back().find("\"FormCriado\":true"), std::string::npos) << r.lines.back();
}

TEST(Launch, AnArgumentThatIsNeitherNullNorAnArrayIsAVariantError) {
    FormHarness h;
    for (const pla013::host::Variant& bad : {pla013::host::Variant(), pla013::host::Variant("0001"),
                                             pla013::host::Variant(std::vector<pla013::host::Variant>{})}) {
        EXPECT_THROW(pla013::IniProc(bad), pla013::host::EVariantError);
        EXPECT_FALSE(pla013::FormCriado);
    }
    // A number in element 0 becomes its decimal text; Null becomes empty.
    h.ui().modalLoop = [](pla013::host::TForm& f) { f.Close(); };
    pla013::IniProc(pla013::host::Variant(std::vector<pla013::host::Variant>{pla013::host::Variant(12)}));
    pla013::IniProc(pla013::host::Variant(
        std::vector<pla013::host::Variant>{pla013::host::Variant::null(), pla013::host::Variant("x")}));
    EXPECT_FALSE(pla013::FormCriado);
}

}  // namespace

TEST(Launch, AStepThatCannotRunInsideTheModalDialogStopsTheScriptWithStatus2) {
    FormHarness h;
    auto r = h.run("launch-branch 0002\nclick semControle\ndump-form\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("semControle"), std::string::npos) << r.err;
    EXPECT_TRUE(pla013test::withPrefix(r.lines, "{").empty()) << "no step runs after the one that could not";
    EXPECT_TRUE(pla013test::withPrefix(r.lines, "message:").empty()) << ::testing::PrintToString(r.lines);
}
