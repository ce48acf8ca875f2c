// Saves killed at random moments (see KillSave.h): 240 kills in all, which
// take about ten seconds. bench_core_kill_save runs as many as asked.
#include <gtest/gtest.h>

#include <iostream>

#include "KillSave.h"
#include "support/TempDir.h"

namespace tavix {
namespace {

using test::TempDir;

void expectSafe(killsave::Road road, int kills) {
    TempDir dir;
    const killsave::Outcome o = killsave::run(road, dir.path(), kills, 2 << 20, 20240611u + kills);
    std::cout << killsave::roadName(road) << ": " << o.kills << " kills, " << o.sawOld << " old, "
              << o.sawNew << " new, " << o.failures << " failures, " << o.leftovers
              << " leftovers cleaned, " << o.recovered << " rewrites finished; delays up to "
              << o.maxDelayMicros / 1000 << " ms\n";
    EXPECT_EQ(o.kills, kills);
    EXPECT_EQ(o.failures, 0);
    for (const std::string& problem : o.problems)
        ADD_FAILURE() << problem;
    EXPECT_EQ(o.sawOld + o.sawNew, kills);
}

TEST(KilledSave, PageIsAlwaysTheOldOrTheNewOne) { expectSafe(killsave::Road::Page, 120); }

TEST(KilledSave, SettingsFileIsAlwaysTheOldOrTheNewOne) {
    expectSafe(killsave::Road::Settings, 90);
}

TEST(KilledSave, HardLinkedPageIsTheOldOrTheNewOneAfterTheCleanup) {
    expectSafe(killsave::Road::HardLinkedPage, 30);
}

}  // namespace
}  // namespace tavix
