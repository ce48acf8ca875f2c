#include "ui/SystemReport.h"

#include <gnu/libc-version.h>
#include <sys/utsname.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

#include <boost/version.hpp>
#include <xercesc/util/XercesVersion.hpp>

namespace tavix {

namespace {

template <typename... Args>
std::string format(const char* fmt, Args... args) {
    char buffer[64];
    const int n = std::snprintf(buffer, sizeof buffer, fmt, args...);
    return n > 0 ? std::string(buffer, std::min<std::size_t>(n, sizeof buffer - 1)) : std::string();
}

// Name of the system for the two old families by version; empty means the
// line starts directly with the version suffix.
std::string windowsName(unsigned platform, unsigned major, unsigned minor) {
    if (platform == 1) {
        if (major != 4)
            return "Unknown Windows";
        switch (minor) {
        case 0: return "Windows 95";
        case 10: return "Windows 98";
        case 90: return "Windows ME";
        default: return "Unknown Windows 4";
        }
    }
    switch (major) {
    case 3: return minor == 51 ? "Windows NT 3.51" : "Unknown Windows NT 3";
    case 4: return minor == 0 ? "Windows NT 4.0" : "Unknown Windows NT 4";
    case 5:
        if (minor == 0)
            return "Windows 2000";
        return minor == 1 ? "Windows XP" : "Unknown Windows NT 5";
    default: return std::string();
    }
}

std::string osPart(const OsVersion& os) {
    std::string text;
    switch (os.platformId) {
    case 1:
        // The old family packs its version into the build number too.
        text = windowsName(1, os.major, os.minor) +
               format(" (%u.%u build %u)", unsigned(os.build >> 24), unsigned((os.build >> 16) & 0xFF),
                      unsigned(os.build & 0xFFFF));
        break;
    case 2:
        text = windowsName(2, os.major, os.minor) +
               format(" (%u.%u build %u)", os.major, os.minor, unsigned(os.build));
        break;
    case 3:
        text = (os.systemName.empty() ? std::string("Linux") : os.systemName) +
               format(" (%u.%u build %u)", os.major, os.minor, unsigned(os.build));
        break;
    default:
        text = "Unknown Windows Type";
        break;
    }
    return text + "\r\n" + os.servicePack + "\r\n";
}

std::string processorTypeText(unsigned type) {
    switch (type) {
    case 386: return "Intel 80386";
    case 486: return "Intel 80486";
    case 586: return "Intel Pentium";
    default: return "Unknown Processor" + format("(%u)", type);
    }
}

std::string processorArchText(const ProcessorInfo& p) {
    const std::string levelPart = format("(%u) ", unsigned(p.level));
    switch (p.architecture) {
    case 0:
        switch (p.level) {
        case 3: return "Intel 80386 ";
        case 4: return "Intel 80486 ";
        case 5: return "Intel Pentium ";
        case 6: return "Intel Pentium Pro/Pentium II ";
        default: return "Intel Unknown Processor " + levelPart;
        }
    case 1: return "MIPS " + levelPart;
    case 2: return "Alpha " + levelPart;
    case 3:
        switch (p.level) {
        case 1: return "PPC 601 ";
        case 3: return "PPC 603 ";
        case 4: return "PPC 604 ";
        case 6: return "PPC 603+ ";
        case 9: return "PPC 604+ ";
        case 20: return "PPC 620 ";
        default: return "PPC Unknown Processor " + levelPart;
        }
    case 6: return "IA64 ";
    case 9: return "AMD64 " + levelPart;
    case 10: return "IA32 on Win64 " + levelPart;
    default: return "Unknown Architecture " + format("(%u) ", unsigned(p.architecture));
    }
}

std::string trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return std::string();
    const auto last = s.find_last_not_of(" \t\r\n");
    return s.substr(first, last - first + 1);
}

std::string unquote(std::string value) {
    value = trim(value);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    // os-release allows backslash escapes inside double quotes.
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size())
            ++i;
        out += value[i];
    }
    return out;
}

unsigned toUnsigned(const std::string& text) {
    unsigned long value = 0;
    for (char c : trim(text)) {
        if (c < '0' || c > '9')
            break;
        value = value * 10 + unsigned(c - '0');
        if (value > 0xFFFFFFFFul)
            return 0xFFFFFFFFu;
    }
    return unsigned(value);
}

std::string readFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::string();
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string baseName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string FormatSystemReport(const SystemReportInput& input) {
    std::string text = "System Information\r\n";
    if (input.os)
        text += osPart(*input.os);
    text += format("%u x ", input.processor.count);
    // Only the old families report a processor type for version 4; a Linux
    // kernel 4.x has nothing to do with it.
    const bool typeOnly = input.os && input.os->major == 4 && input.os->platformId != 3;
    if (typeOnly) {
        text += processorTypeText(input.processor.type);
    } else {
        text += processorArchText(input.processor);
        if (!input.processor.modelName.empty())
            text += input.processor.modelName + " ";
        text += format("rev %lX\r\n", static_cast<unsigned long>(input.processor.revision));
    }
    text += "\r\n";
    text += "Module Information\r\n";
    if (!input.modules) {
        text += "Could not access module information";
        return text;
    }
    for (const ModuleInfo& m : *input.modules) {
        text += m.name;
        text += format(" (%u.%u.%u.%u)\r\n", unsigned(m.version[0]), unsigned(m.version[1]),
                       unsigned(m.version[2]), unsigned(m.version[3]));
    }
    return text;
}

std::string ParseOsReleaseName(const std::string& osRelease) {
    std::string pretty, name, version;
    std::istringstream lines(osRelease);
    std::string line;
    while (std::getline(lines, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = trim(line.substr(0, eq));
        const std::string value = unquote(line.substr(eq + 1));
        if (key == "PRETTY_NAME")
            pretty = value;
        else if (key == "NAME")
            name = value;
        else if (key == "VERSION")
            version = value;
    }
    if (!pretty.empty())
        return pretty;
    if (version.empty())
        return name;
    return name.empty() ? version : name + " " + version;
}

std::array<unsigned, 3> ParseKernelRelease(const std::string& release) {
    std::array<unsigned, 3> parts{};
    std::size_t i = 0;
    for (unsigned& part : parts) {
        if (i >= release.size() || release[i] < '0' || release[i] > '9')
            break;
        unsigned long value = 0;
        while (i < release.size() && release[i] >= '0' && release[i] <= '9') {
            if (value < 0xFFFFFFFFul)
                value = value * 10 + unsigned(release[i] - '0');
            ++i;
        }
        part = unsigned(std::min<unsigned long>(value, 0xFFFFFFFFul));
        if (i >= release.size() || release[i] != '.')
            break;
        ++i;
    }
    return parts;
}

ProcessorInfo ParseCpuInfo(const std::string& cpuinfo, const std::string& machine) {
    ProcessorInfo info;
    unsigned family = 0, model = 0, stepping = 0;
    bool haveFamily = false, haveModel = false, haveStepping = false;
    std::istringstream lines(cpuinfo);
    std::string line;
    while (std::getline(lines, line)) {
        const auto colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        const std::string key = trim(line.substr(0, colon));
        const std::string value = trim(line.substr(colon + 1));
        // Only the first processor's description is used; they are alike.
        if (key == "processor")
            ++info.count;
        else if (key == "model name" && info.modelName.empty())
            info.modelName = value;
        else if (key == "cpu family" && !haveFamily)
            family = toUnsigned(value), haveFamily = true;
        else if (key == "model" && !haveModel)
            model = toUnsigned(value), haveModel = true;
        else if (key == "stepping" && !haveStepping)
            stepping = toUnsigned(value), haveStepping = true;
    }
    if (info.count == 0)
        info.count = 1;
    info.level = std::uint16_t(std::min(family, 0xFFFFu));
    info.revision = std::uint16_t(((model & 0xFF) << 8) | (stepping & 0xFF));

    const bool x86 = machine.size() == 4 && machine[0] == 'i' && machine.compare(2, 2, "86") == 0;
    if (machine == "x86_64" || machine == "amd64") {
        info.architecture = 9;
        info.type = 8664;
    } else if (x86) {
        info.architecture = 0;
        info.type = 586;
    } else if (machine == "aarch64" || machine == "arm64") {
        info.architecture = 12;
    } else if (machine.rfind("arm", 0) == 0) {
        info.architecture = 5;
    } else {
        info.architecture = 0xFFFF;
    }
    return info;
}

std::vector<std::string> ParseMappedFiles(const std::string& maps) {
    std::vector<std::string> files;
    std::set<std::string> seen;
    std::istringstream lines(maps);
    std::string line;
    while (std::getline(lines, line)) {
        // address perms offset device inode path; the path may hold spaces.
        std::size_t pos = 0;
        for (int field = 0; field < 5 && pos != std::string::npos; ++field) {
            pos = line.find_first_not_of(' ', pos);
            if (pos != std::string::npos)
                pos = line.find(' ', pos);
        }
        if (pos == std::string::npos)
            continue;
        pos = line.find_first_not_of(' ', pos);
        if (pos == std::string::npos || line[pos] != '/')
            continue;
        const std::string path = line.substr(pos);
        const std::string base = baseName(path);
        const auto so = base.find(".so");
        const bool library = so != std::string::npos && (so + 3 == base.size() || base[so + 3] == '.');
        // The first file mapped is the program itself.
        if (!files.empty() && !library)
            continue;
        if (seen.insert(path).second)
            files.push_back(path);
    }
    return files;
}

std::vector<KnownVersion> CoreLibraryVersions() {
    return {
        {"libxerces-c",
         {XERCES_VERSION_MAJOR, XERCES_VERSION_MINOR, XERCES_VERSION_REVISION, 0}},
        {"libboost_",
         {std::uint16_t(BOOST_VERSION / 100000), std::uint16_t(BOOST_VERSION / 100 % 1000),
          std::uint16_t(BOOST_VERSION % 100), 0}},
    };
}

std::array<std::uint16_t, 4> ParseDottedVersion(const std::string& text) {
    std::array<std::uint16_t, 4> version{};
    std::size_t i = 0;
    for (auto& part : version) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9')
            break;
        unsigned value = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            value = std::min(value * 10 + unsigned(text[i] - '0'), 0xFFFFu);
            ++i;
        }
        part = std::uint16_t(value);
        if (i >= text.size() || text[i] != '.')
            break;
        ++i;
    }
    return version;
}

std::vector<ModuleInfo> ModulesFromPaths(const std::vector<std::string>& paths,
                                         const std::vector<KnownVersion>& known) {
    std::vector<ModuleInfo> modules;
    modules.reserve(paths.size());
    for (const std::string& path : paths) {
        ModuleInfo m;
        m.name = baseName(path);
        bool found = false;
        for (const KnownVersion& k : known) {
            if (!k.prefix.empty() && m.name.rfind(k.prefix, 0) == 0) {
                m.version = k.version;
                found = true;
                break;
            }
        }
        if (!found) {
            const auto so = m.name.find(".so.");
            if (so != std::string::npos)
                m.version = ParseDottedVersion(m.name.substr(so + 4));
        }
        modules.push_back(std::move(m));
    }
    return modules;
}

SystemReportInput GatherSystemReport(const std::vector<KnownVersion>& extraKnown) {
    SystemReportInput input;
    struct utsname u {};
    std::string machine;
    if (uname(&u) == 0) {
        OsVersion os;
        os.platformId = unsigned(ReportPlatform::Linux);
        const auto release = ParseKernelRelease(u.release);
        os.major = release[0];
        os.minor = release[1];
        os.build = release[2];
        os.servicePack = std::string(u.sysname) + " " + u.release + " " + u.version;
        os.systemName = ParseOsReleaseName(readFile("/etc/os-release"));
        if (os.systemName.empty())
            os.systemName = ParseOsReleaseName(readFile("/usr/lib/os-release"));
        if (os.systemName.empty())
            os.systemName = u.sysname;
        machine = u.machine;
        input.os = std::move(os);
    }
    input.processor = ParseCpuInfo(readFile("/proc/cpuinfo"), machine);

    const std::string maps = readFile("/proc/self/maps");
    if (!maps.empty()) {
        std::vector<KnownVersion> known = extraKnown;
        // The C library's file is named after its interface, not its release.
        known.push_back({"libc.so.", ParseDottedVersion(gnu_get_libc_version())});
        for (KnownVersion& k : CoreLibraryVersions())
            known.push_back(std::move(k));
        input.modules = ModulesFromPaths(ParseMappedFiles(maps), known);
    }
    return input;
}

}  // namespace tavix
