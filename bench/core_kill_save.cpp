// Saves killed at random moments, at length: bench_core_kill_save [KILLS]
// [FOLDER] (1000 kills by default, split over the three roads of
// tests/store/KillSave.h: half on a page, three tenths on the settings file,
// one fifth on a hard-linked page) in a new folder under FOLDER (the system's
// temporary folder by default). Prints, per road and in all, the kills, how
// often the file held the old and the new content, the failures (must be 0)
// and the leftovers the cleanup removed. Exits with 1 on any failure.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "../tests/store/KillSave.h"

using namespace tavix;

int main(int argc, char** argv) {
    const int kills = argc > 1 ? std::atoi(argv[1]) : 1000;
    if (kills <= 0) {
        std::fprintf(stderr, "usage: %s [KILLS] [FOLDER]\n", argv[0]);
        return 2;
    }
    const std::filesystem::path base = argc > 2 ? std::filesystem::path(argv[2])
                                                : std::filesystem::temp_directory_path();
    std::string pattern = (base / "tavix-kill-save-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 2;
    }

    struct Share {
        killsave::Road road;
        int kills;
    };
    const int pages = kills / 2;
    const int settings = kills * 3 / 10;
    const Share shares[] = {{killsave::Road::Page, pages},
                            {killsave::Road::Settings, settings},
                            {killsave::Road::HardLinkedPage, kills - pages - settings}};
    killsave::Outcome total;
    const auto start = std::chrono::steady_clock::now();
    std::printf("%-17s %7s %7s %7s %9s %10s %9s\n", "road", "kills", "old", "new", "failures",
                "leftovers", "finished");
    for (const Share& share : shares) {
        if (share.kills == 0)
            continue;
        const std::string folder = pattern + "/" + std::to_string(static_cast<int>(share.road));
        std::filesystem::create_directory(folder);
        const auto o = killsave::run(share.road, folder, share.kills, 2 << 20,
                                     static_cast<unsigned>(std::time(nullptr)) + share.kills);
        std::printf("%-17s %7d %7d %7d %9d %10zu %9zu\n", killsave::roadName(share.road), o.kills,
                    o.sawOld, o.sawNew, o.failures, o.leftovers, o.recovered);
        for (const std::string& problem : o.problems)
            std::printf("  %s\n", problem.c_str());
        total.kills += o.kills;
        total.sawOld += o.sawOld;
        total.sawNew += o.sawNew;
        total.failures += o.failures;
        total.leftovers += o.leftovers;
        total.recovered += o.recovered;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%-17s %7d %7d %7d %9d %10zu %9zu\n", "all", total.kills, total.sawOld,
                total.sawNew, total.failures, total.leftovers, total.recovered);
    std::printf("%.1f s, %.1f ms per kill\n", seconds, 1000 * seconds / total.kills);
    std::error_code ignored;
    std::filesystem::remove_all(pattern, ignored);
    return total.failures == 0 ? 0 : 1;
}
