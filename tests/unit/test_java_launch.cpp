// The portable pieces of a launch that need no VM: how each failed launch
// is reported, and the splash thread's call gate.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "vm/java_vm_launcher.h"
#include "vm/java_vm_state.h"

namespace zorvo {
namespace {

TEST(JavaLaunch, EachFailureHasItsMessageAndNamesTheClassItConcerns) {
    struct Case {
        LaunchOutcome outcome;
        ConfigId message;
        const char* placeholder;
        const char* value;
    } cases[] = {
        {LaunchOutcome::LauncherClassMissing, cfg::kMsgMainClassNotFound, "%CLASS_NAME%", kLauncherClassName},
        {LaunchOutcome::LauncherMainMissing, cfg::kMsgMainMethodNotFound, "%CLASS_NAME%", kLauncherClassName},
        {LaunchOutcome::MainClassMissing, cfg::kMsgMainClassNotFound, "%CLASS_NAME%", "com.example.App"},
        {LaunchOutcome::MainMethodMissing, cfg::kMsgMainMethodNotFound, "%CLASS_NAME%", "com.example.App"},
        {LaunchOutcome::FirstRunClassMissing, cfg::kMsgInternalError, "%ERROR_CODE%", "14"},
        {LaunchOutcome::FirstRunMethodMissing, cfg::kMsgInternalError, "%ERROR_CODE%", "15"},
        {LaunchOutcome::ArgumentsFailed, cfg::kMsgJvmStartFailed, nullptr, nullptr},
        {LaunchOutcome::ExceptionEscaped, cfg::kMsgJvmStartFailed, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        LaunchReport report = describeLaunchOutcome(c.outcome, "com.example.App");
        EXPECT_EQ(report.message, c.message) << static_cast<int>(c.outcome);
        // The placeholder the value replaces is the message's own, from the entry table.
        EXPECT_STREQ(report.value ? messagePlaceholder(report.message) : nullptr, c.placeholder)
            << static_cast<int>(c.outcome);
        EXPECT_STREQ(report.value, c.value) << static_cast<int>(c.outcome);
    }
}

// The gate is process-wide and closes for good: one test walks it through.
TEST(JavaLaunch, ClosingTheCallGateWaitsForACallUnderWayAndKeepsLaterOnesOut) {
    ASSERT_TRUE(enterSideCalls());
    std::atomic<bool> closed{false};
    std::thread closer([&] {
        closeSideCalls();
        closed = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(closed) << "closed while a call was under way";
    leaveSideCalls();
    closer.join();
    EXPECT_TRUE(closed);
    EXPECT_FALSE(enterSideCalls());
    abandonSideCalls();
    EXPECT_FALSE(enterSideCalls());
}

}  // namespace
}  // namespace zorvo
