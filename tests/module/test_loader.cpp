// The module as the host loads it: dlopen, package hooks, exported entry
// points that let no exception through.

#include <gtest/gtest.h>

#include <cstring>

#include "FormHarness.h"
#include "host/Errors.h"
#include "host/ModuleAbi.h"
#include "platform/runtime/ModuleLoader.h"

TEST(ModuleLoader, ExportsTheEntryPointsAndTheUnitTable) {
    pla013test::FormHarness h;  // installs the ports the module needs
    pla013::runtime::ModuleLoader module(PLA013_MODULE_PATH);
    const auto& info = module.packageInfo();
    ASSERT_EQ(info.unitCount, 2);
    EXPECT_STREQ(info.units[0].name, "PKG_PLA01303");
    EXPECT_STREQ(info.units[1].name, "Cli_pla01303");
    EXPECT_FALSE(module.formCriado());

    auto bad = module.iniProc(pla013::host::Variant());
    EXPECT_EQ(bad.status, pla013::host::msVariantError);
    EXPECT_FALSE(bad.error.empty());
    EXPECT_FALSE(module.formCriado());

    auto ok = module.iniProc(pla013::host::Variant::null());
    EXPECT_EQ(ok.status, pla013::host::msOk) << ok.error;
    EXPECT_TRUE(module.formCriado());
    auto again = module.criaRelatPrato('N', "0002");
    EXPECT_EQ(again.status, pla013::host::msOk) << "an array call while the child is open does nothing";
}

TEST(ModuleLoader, AMissingModuleIsAClearError) {
    try {
        pla013::runtime::ModuleLoader module("/nonexistent/libpla01303.so");
        FAIL() << "loaded a module that does not exist";
    } catch (const pla013::host::EHostError& e) {
        EXPECT_NE(std::strstr(e.what(), "/nonexistent/libpla01303.so"), nullptr) << e.what();
    }
}
