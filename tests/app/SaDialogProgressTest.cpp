// The progress display: byte counts of the payload reader become a
// percentage of the executable's size on the main dialog's progress bar.
// Natively the bar is the POSIX layer's, which draws every position it is
// sent on the terminal: the drawn positions are exactly the PBM_SETPOS
// messages sent.
#ifndef _WIN32

#include "app/SaDialogProgress.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "resources/StubResources.h"
#include "tests/app/DialogTestSupport.h"

namespace {

constexpr uint32_t kGiB = 1024u * 1024u * 1024u;

struct Reports {
    uint32_t sizeLow;
    uint32_t sizeHigh;
    uint32_t bytesPerReport;
    int count;
    bool withDialog;
};
Reports g_reports{};
uint32_t g_lastPercent = 0;

INT_PTR CALLBACK reportingProc(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (message != WM_INITDIALOG) return FALSE;
    SaDialogProgress progress;
    progress.setExecutableSize(g_reports.sizeLow, g_reports.sizeHigh);
    if (g_reports.withDialog) progress.setDialog(dialog);
    for (int i = 0; i < g_reports.count; ++i) progress.onProgress(g_reports.bytesPerReport, 0);
    g_lastPercent = progress.getLastPercent();
    EndDialog(dialog, IDOK);
    return TRUE;
}

// The positions the bar was sent, in order.
std::vector<int> barPositions(const Reports& reports) {
    g_reports = reports;
    dialog_test::ScriptedTerminal terminal("");
    DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_MAIN_DIALOG), nullptr, reportingProc, 0);
    return dialog_test::drawnPercents(terminal.shown());
}

std::vector<int> oneToTen() { return {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}; }

TEST(SaDialogProgress, BarFollowsTheShareOfTheExecutableConsumed) {
    struct Case {
        const char* label;
        Reports reports;
        std::vector<int> positions;
    };
    const Case cases[] = {
        {"10,000,000-byte executable, 1,000,000-byte reports",
         {10000000, 0, 1000000, 10, true},
         {10, 20, 30, 40, 50, 60, 70, 80, 90, 100}},
        // 0.3% a report: a report that does not raise the percentage sends
        // nothing, so each position is sent once.
        {"reports below one percent", {10000000, 0, 30000, 34, true}, oneToTen()},
        {"empty reports", {10000000, 0, 0, 5, true}, {}},
        // 4 GiB and more count in 256-byte units: 2^24 units here. Each
        // report is 167,774 units, a hair over one percent.
        {"4 GiB executable", {0, 1, 167774u * 256u, 10, true}, oneToTen()},
        // 6 GiB is 2^24 + 2^23 units: the low half counts. Each report is
        // 251,660 units, a hair over one percent.
        {"6 GiB executable", {2 * kGiB, 1, 251660u * 256u, 10, true}, oneToTen()},
        {"a silent run has no bar", {10000000, 0, 1000000, 10, false}, {}},
        // A failed size query leaves the size 0: nothing to divide by.
        {"unknown size", {0, 0, 1000000, 3, true}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(barPositions(c.reports), c.positions);
        const uint32_t last = c.positions.empty() ? 0 : static_cast<uint32_t>(c.positions.back());
        EXPECT_EQ(g_lastPercent, last);
    }
}

// In 256-byte units, bytes below the accumulator's limit wait, and the
// remainder under 256 bytes is carried to the next report, not dropped:
// 100 reports of 42,949,700 bytes are 16,777,226 units and some bytes,
// just over 100% of 4 GiB, while dropping each report's remainder
// (0.265625 of a unit) would stop at 99%.
TEST(SaDialogProgress, LargeFilesCarryTheBytesBelowOneUnit) {
    const std::vector<int> positions = barPositions({0, 1, 42949700, 100, true});
    ASSERT_FALSE(positions.empty());
    EXPECT_EQ(positions.back(), 100);
    for (size_t i = 1; i < positions.size(); ++i) EXPECT_GT(positions[i], positions[i - 1]);
}

}  // namespace

#endif  // _WIN32
