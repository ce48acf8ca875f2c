#pragma once
// The editor's RTF back to page-body events (startDocument ... endDocument),
// delivered to a ContentHandler (in the program, the page document).
// Events are always balanced; no input can crash or hang the reader.
#include <ostream>
#include <string>
#include <vector>

#include <xercesc/sax2/ContentHandler.hpp>

#include "store/StyleSheet.h"

namespace tavix {

class RtfReader {
public:
    explicit RtfReader(const StyleSheet& styleSheet);

    void setInput(std::u16string rtf) { input_ = std::move(rtf); }
    // Reads the whole input. Diagnostic lines ("Error, stack underflow",
    // "Error, unmatched brace") go to the diagnostics stream.
    void run(xercesc::ContentHandler& target);

    void setDiagnostics(std::ostream& out) { diagnostics_ = &out; }

private:
    const StyleSheet& styleSheet_;
    std::u16string input_;
    std::ostream* diagnostics_;
    // Scanner state lives in RtfReader.cpp (group stack, current group, text).
};

}  // namespace tavix
