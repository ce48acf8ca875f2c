#pragma once
// The system-information block of a problem report: what the user copies
// into a mail to support. The text is built from plain inputs so that its
// format can be exercised without the machine it describes; the gathering
// from a running Linux system (/proc, uname, os-release) sits beside it.
// No Qt here: the dialog adds what only the GUI library knows.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tavix {

// Platform ids the report knows. 1 and 2 are the two families of the old
// desktop system whose version numbers the format was made for; Linux
// reports its distribution's name and the kernel version.
enum class ReportPlatform : unsigned { Win9x = 1, WinNT = 2, Linux = 3 };

struct OsVersion {
    unsigned platformId = 0;
    unsigned major = 0;
    unsigned minor = 0;
    std::uint32_t build = 0;
    // Line under the name: service pack, or on Linux the kernel's own
    // release and build text.
    std::string servicePack;
    // On Linux: the distribution's name ("Debian GNU/Linux 12 (bookworm)").
    std::string systemName;
};

struct ProcessorInfo {
    unsigned count = 0;
    unsigned type = 0;              // 386, 486, 586, ...
    std::uint16_t architecture = 0; // 0 x86, 9 x86-64, ...
    std::uint16_t level = 0;        // family
    std::uint16_t revision = 0;     // model << 8 | stepping on x86
    // The processor's own name where the system tells it; empty otherwise.
    std::string modelName;
};

struct ModuleInfo {
    std::string name;
    std::array<std::uint16_t, 4> version{};  // 0.0.0.0 when unknown
};

struct SystemReportInput {
    std::optional<OsVersion> os;  // empty: the version query failed
    ProcessorInfo processor;
    // Empty: the module list could not be read.
    std::optional<std::vector<ModuleInfo>> modules;
};

// The report text, lines ended by "\r\n". Never fails: missing parts are
// left out or reported as such in the text.
std::string FormatSystemReport(const SystemReportInput& input);

// ---- Linux gathering ------------------------------------------------------

// PRETTY_NAME of an os-release file, unquoted; NAME + " " + VERSION when it
// has no PRETTY_NAME; empty when neither is there.
std::string ParseOsReleaseName(const std::string& osRelease);

// Leading numbers of a kernel release such as "6.1.0-13-amd64" (missing
// parts are 0).
std::array<unsigned, 3> ParseKernelRelease(const std::string& release);

// Processor count and kind from /proc/cpuinfo text. The count is the number
// of "processor" entries (at least 1); family, model and stepping become
// level and revision as on x86. `machine` is uname's machine field and
// chooses the architecture number.
ProcessorInfo ParseCpuInfo(const std::string& cpuinfo, const std::string& machine);

// File-backed mappings of /proc/self/maps text: the program first, then
// every shared library, each once in order of first appearance. Paths
// holding no "/" (anonymous and special mappings) are skipped.
std::vector<std::string> ParseMappedFiles(const std::string& maps);

// A version known from elsewhere (a library's headers or its run-time
// query) for modules whose file name starts with `prefix`.
struct KnownVersion {
    std::string prefix;
    std::array<std::uint16_t, 4> version{};
};

// The versions this core library knows from its headers: Xerces-C and Boost.
std::vector<KnownVersion> CoreLibraryVersions();

// Parses "6.4.2" (up to four dot-separated numbers) into a version.
std::array<std::uint16_t, 4> ParseDottedVersion(const std::string& text);

// Module entries for mapped file paths: the base name, and the version
// from `known` (first matching prefix) or else from the digits after
// ".so." in the name ("libfoo.so.1.2.3" is 1.2.3.0), or 0.0.0.0.
std::vector<ModuleInfo> ModulesFromPaths(const std::vector<std::string>& paths,
                                         const std::vector<KnownVersion>& known);

// Everything read from the running system: uname, /etc/os-release (or
// /usr/lib/os-release), /proc/cpuinfo and /proc/self/maps. Parts that cannot
// be read are left empty as the format expects. `extraKnown` is tried before
// CoreLibraryVersions().
SystemReportInput GatherSystemReport(const std::vector<KnownVersion>& extraKnown);

}  // namespace tavix
