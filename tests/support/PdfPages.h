#pragma once
// What tests of printing read back from a PDF Qt wrote.
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>

namespace tavix::test {

// Pages of a PDF file, as its page objects.
inline int pdfPageCount(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    const std::string pdf = bytes.str();
    static const std::regex page("/Type\\s*/Page[^s]");
    return int(std::distance(std::sregex_iterator(pdf.begin(), pdf.end(), page), std::sregex_iterator()));
}

}  // namespace tavix::test
