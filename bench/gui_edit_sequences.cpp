// The long run of the editor's property test: thousands of random edit
// sequences through the real control, each compared with its saved page read
// again. Prints each failing sequence, shrunk, and the count. With a part
// length, paragraphs longer than twice that are shown in parts of it (a few
// characters make every paragraph of the random pages one in parts).
//   bench_gui_edit_sequences [runs] [seed] [part length]
#include <cstdio>
#include <cstdlib>

#include <QApplication>

#include "../tests/support/EditSequences.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 3000;
    std::mt19937 rng(argc > 2 ? unsigned(std::atoi(argv[2])) : 1u);
    tavix::test::EditBench bench;
    if (argc > 3)
        bench.setPartLength(std::atoi(argv[3]));
    int failures = 0;
    for (int run = 0; run < runs; ++run) {
        const std::string body = tavix::test::randomBody(rng);
        const auto steps = tavix::test::randomSteps(rng, 12);
        if (bench.runAll(body, steps).empty())
            continue;
        ++failures;
        const auto minimal = tavix::test::shrink(bench, body, steps);
        std::printf("run %d on %s\n  %s\n%s\n", run, body.c_str(), tavix::test::describe(minimal).c_str(),
                    bench.runAll(body, minimal).c_str());
    }
    std::printf("%d sequences, %d failing\n", runs, failures);
    return failures == 0 ? 0 : 1;
}
