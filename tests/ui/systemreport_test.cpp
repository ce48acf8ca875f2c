#include "ui/SystemReport.h"

#include <gtest/gtest.h>

namespace tavix {
namespace {

SystemReportInput xpInput() {
    SystemReportInput in;
    in.os = OsVersion{2, 5, 1, 2600, "Service Pack 1", ""};
    in.processor.count = 2;
    in.processor.architecture = 0;
    in.processor.level = 6;
    in.processor.revision = 0x0803;
    in.modules = std::vector<ModuleInfo>{{"tavix", {1, 2, 3, 4}}, {"libnone.so", {}}};
    return in;
}

TEST(SystemReportText, WholeTextForNtFamily) {
    EXPECT_EQ(FormatSystemReport(xpInput()),
              "System Information\r\n"
              "Windows XP (5.1 build 2600)\r\n"
              "Service Pack 1\r\n"
              "2 x Intel Pentium Pro/Pentium II rev 803\r\n"
              "\r\n"
              "Module Information\r\n"
              "tavix (1.2.3.4)\r\n"
              "libnone.so (0.0.0.0)\r\n");
}

TEST(SystemReportText, OldFamilyTakesVersionFromBuildNumberAndTypeForVersion4) {
    SystemReportInput in;
    in.os = OsVersion{1, 4, 10, (4u << 24) | (10u << 16) | 2222u, "A", ""};
    in.processor.count = 1;
    in.processor.type = 586;
    in.modules = std::vector<ModuleInfo>{};
    EXPECT_EQ(FormatSystemReport(in),
              "System Information\r\n"
              "Windows 98 (4.10 build 2222)\r\n"
              "A\r\n"
              "1 x Intel Pentium\r\n"
              "Module Information\r\n");
    in.processor.type = 999;
    EXPECT_NE(FormatSystemReport(in).find("1 x Unknown Processor(999)\r\nModule"), std::string::npos);
}

TEST(SystemReportText, NameTables) {
    SystemReportInput in = xpInput();
    auto firstOsLine = [&](unsigned platform, unsigned major, unsigned minor) {
        in.os->platformId = platform;
        in.os->major = major;
        in.os->minor = minor;
        in.os->build = 7;
        const std::string text = FormatSystemReport(in);
        const auto start = text.find("\r\n") + 2;
        return text.substr(start, text.find("\r\n", start) - start);
    };
    EXPECT_EQ(firstOsLine(2, 6, 0), " (6.0 build 7)");
    EXPECT_EQ(firstOsLine(2, 3, 51), "Windows NT 3.51 (3.51 build 7)");
    EXPECT_EQ(firstOsLine(2, 3, 1), "Unknown Windows NT 3 (3.1 build 7)");
    EXPECT_EQ(firstOsLine(2, 5, 0), "Windows 2000 (5.0 build 7)");
    EXPECT_EQ(firstOsLine(2, 5, 2), "Unknown Windows NT 5 (5.2 build 7)");
    EXPECT_EQ(firstOsLine(1, 4, 90), "Windows ME (0.0 build 7)");
    EXPECT_EQ(firstOsLine(1, 5, 0), "Unknown Windows (0.0 build 7)");
    EXPECT_EQ(firstOsLine(7, 5, 1), "Unknown Windows Type");
}

TEST(SystemReportText, ProcessorArchitectures) {
    SystemReportInput in = xpInput();
    in.os->major = 6;
    auto cpuLine = [&](std::uint16_t arch, std::uint16_t level) {
        in.processor.architecture = arch;
        in.processor.level = level;
        in.processor.revision = 0x4F07;
        const std::string text = FormatSystemReport(in);
        const auto start = text.find("2 x ");
        return text.substr(start, text.find("\r\n", start) - start);
    };
    EXPECT_EQ(cpuLine(0, 9), "2 x Intel Unknown Processor (9) rev 4F07");
    EXPECT_EQ(cpuLine(3, 20), "2 x PPC 620 rev 4F07");
    EXPECT_EQ(cpuLine(6, 1), "2 x IA64 rev 4F07");
    EXPECT_EQ(cpuLine(9, 6), "2 x AMD64 (6) rev 4F07");
    EXPECT_EQ(cpuLine(77, 6), "2 x Unknown Architecture (77) rev 4F07");
    in.processor.modelName = "Some CPU @ 2.0GHz";
    EXPECT_EQ(cpuLine(9, 6), "2 x AMD64 (6) Some CPU @ 2.0GHz rev 4F07");
}

TEST(SystemReportText, MissingPartsAreLeftOutOrNamed) {
    SystemReportInput in;
    in.processor.count = 1;
    in.processor.architecture = 9;
    in.processor.level = 6;
    EXPECT_EQ(FormatSystemReport(in),
              "System Information\r\n"
              "1 x AMD64 (6) rev 0\r\n"
              "\r\n"
              "Module Information\r\n"
              "Could not access module information");
}

TEST(SystemReportText, LinuxKernel4IsNotTheOldFamily) {
    SystemReportInput in;
    in.os = OsVersion{3, 4, 19, 0, "Linux 4.19.0 #1", "Debian GNU/Linux 10 (buster)"};
    in.processor = ParseCpuInfo("processor : 0\ncpu family : 6\nmodel : 85\nstepping : 7\n", "x86_64");
    in.modules = std::vector<ModuleInfo>{};
    EXPECT_EQ(FormatSystemReport(in),
              "System Information\r\n"
              "Debian GNU/Linux 10 (buster) (4.19 build 0)\r\n"
              "Linux 4.19.0 #1\r\n"
              "1 x AMD64 (6) rev 5507\r\n"
              "\r\n"
              "Module Information\r\n");
}

TEST(SystemReportLinux, OsReleaseAndKernelRelease) {
    EXPECT_EQ(ParseOsReleaseName("NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"),
              "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(ParseOsReleaseName("NAME=Fedora\nVERSION='39 (Workstation)'\n"), "Fedora 39 (Workstation)");
    EXPECT_EQ(ParseOsReleaseName("PRETTY_NAME=\"Say \\\"hi\\\"\"\n"), "Say \"hi\"");
    EXPECT_EQ(ParseOsReleaseName(""), "");

    EXPECT_EQ(ParseKernelRelease("6.1.0-13-amd64"), (std::array<unsigned, 3>{6, 1, 0}));
    EXPECT_EQ(ParseKernelRelease("5.15"), (std::array<unsigned, 3>{5, 15, 0}));
    EXPECT_EQ(ParseKernelRelease("weird"), (std::array<unsigned, 3>{0, 0, 0}));
    EXPECT_EQ(ParseKernelRelease("99999999999.2.3"), (std::array<unsigned, 3>{0xFFFFFFFFu, 2, 3}));
}

TEST(SystemReportLinux, CpuInfo) {
    const std::string text =
        "processor\t: 0\nvendor_id\t: GenuineIntel\ncpu family\t: 6\nmodel\t\t: 85\n"
        "model name\t: Intel(R) Xeon(R) CPU @ 2.00GHz\nstepping\t: 3\n\n"
        "processor\t: 1\ncpu family\t: 6\nmodel\t\t: 85\nmodel name\t: other\nstepping\t: 3\n";
    const ProcessorInfo p = ParseCpuInfo(text, "x86_64");
    EXPECT_EQ(p.count, 2u);
    EXPECT_EQ(p.architecture, 9);
    EXPECT_EQ(p.level, 6);
    EXPECT_EQ(p.revision, 0x5503);
    EXPECT_EQ(p.modelName, "Intel(R) Xeon(R) CPU @ 2.00GHz");

    const ProcessorInfo none = ParseCpuInfo("", "i686");
    EXPECT_EQ(none.count, 1u);
    EXPECT_EQ(none.architecture, 0);
    EXPECT_EQ(ParseCpuInfo("", "aarch64").architecture, 12);
    EXPECT_EQ(ParseCpuInfo("", "riscv64").architecture, 0xFFFF);
}

TEST(SystemReportLinux, MappedFilesAndVersions) {
    const std::string maps =
        "55d0-55d1 r--p 00000000 08:01 1 /usr/bin/tavix\n"
        "55d1-55d2 r-xp 00001000 08:01 1 /usr/bin/tavix\n"
        "7f00-7f01 rw-p 00000000 00:00 0 \n"
        "7f01-7f02 r--p 00000000 08:01 2 /usr/lib/locale/locale-archive\n"
        "7f02-7f03 r--p 00000000 08:01 3 /usr/lib/x86_64-linux-gnu/libQt6Core.so.6.4.2\n"
        "7f03-7f04 r--p 00000000 08:01 4 /usr/lib/x86_64-linux-gnu/libxerces-c-3.2.so\n"
        "7f04-7f05 r--p 00000000 08:01 5 /usr/lib/x86_64-linux-gnu/libfoo.so.1.2.3\n"
        "7f05-7f06 r--p 00000000 08:01 5 /usr/lib/x86_64-linux-gnu/libfoo.so.1.2.3\n"
        "7f06-7f07 r--p 00000000 08:01 6 /opt/my dir/libbar.so\n"
        "7f07-7f08 r--p 00000000 08:01 7 /usr/lib/libsocket.sox\n"
        "7ffc-7ffd rw-p 00000000 00:00 0 [stack]\n";
    const std::vector<std::string> files = ParseMappedFiles(maps);
    ASSERT_EQ(files.size(), 5u);
    EXPECT_EQ(files[0], "/usr/bin/tavix");
    EXPECT_EQ(files[4], "/opt/my dir/libbar.so");

    std::vector<KnownVersion> known = {{"libQt6", ParseDottedVersion("6.4.2")}};
    for (const KnownVersion& k : CoreLibraryVersions())
        known.push_back(k);
    const std::vector<ModuleInfo> modules = ModulesFromPaths(files, known);
    ASSERT_EQ(modules.size(), 5u);
    EXPECT_EQ(modules[0].name, "tavix");
    EXPECT_EQ(modules[0].version, (std::array<std::uint16_t, 4>{0, 0, 0, 0}));
    EXPECT_EQ(modules[1].version, (std::array<std::uint16_t, 4>{6, 4, 2, 0}));
    EXPECT_EQ(modules[2].name, "libxerces-c-3.2.so");
    EXPECT_EQ(modules[2].version, (std::array<std::uint16_t, 4>{3, 2, 4, 0}));
    EXPECT_EQ(modules[3].version, (std::array<std::uint16_t, 4>{1, 2, 3, 0}));
    EXPECT_EQ(modules[4].name, "libbar.so");
}

TEST(SystemReportLinux, GatheredFromThisProcess) {
    const SystemReportInput in = GatherSystemReport({});
    ASSERT_TRUE(in.os.has_value());
    EXPECT_EQ(in.os->platformId, unsigned(ReportPlatform::Linux));
    EXPECT_FALSE(in.os->systemName.empty());
    EXPECT_GE(in.processor.count, 1u);
    ASSERT_TRUE(in.modules.has_value());
    ASSERT_FALSE(in.modules->empty());
    EXPECT_EQ((*in.modules)[0].name, "test_ui_systemreport");
    bool sawLibc = false;
    for (const ModuleInfo& m : *in.modules)
        sawLibc = sawLibc || (m.name == "libc.so.6" && m.version[0] == 2 && m.version[1] > 0);
    EXPECT_TRUE(sawLibc);
    const std::string text = FormatSystemReport(in);
    EXPECT_EQ(text.rfind("System Information\r\n", 0), 0u);
    EXPECT_NE(text.find("\r\nModule Information\r\ntest_ui_systemreport (0.0.0.0)\r\n"), std::string::npos);
}

}  // namespace
}  // namespace tavix
