// The report tests' main: the process-wide set-up of the PDF renderer comes
// first, before any test starts a thread, as in the hosts' mains.

#include <gtest/gtest.h>

#ifdef PLA013_TEST_PDF
#include "platform/reports/qt/GuiProcess.h"
#endif

int main(int argc, char** argv) {
#ifdef PLA013_TEST_PDF
    pla013::reports::GuiProcess pages("test_reports");
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
