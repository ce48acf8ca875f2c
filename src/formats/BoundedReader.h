#pragma once
// The SAX2 reader behind makeSafeReader (XmlSupport.h): Xerces' own reader,
// held for each document to bounds in proportion to that document's size,
// on entity expansions and on the parser's own memory. The bound on the
// text delivered to handlers lives in XmlSupport, which counts it.
#include <cstddef>
#include <limits>

#include <xercesc/framework/MemoryManager.hpp>
#include <xercesc/parsers/SAX2XMLReaderImpl.hpp>
#include <xercesc/sax2/LexicalHandler.hpp>
#include <xercesc/util/SecurityManager.hpp>

namespace tavix {

// a + b and a * b, stopping at the largest size instead of wrapping.
std::size_t saturatingAdd(std::size_t a, std::size_t b);
std::size_t saturatingMul(std::size_t a, std::size_t b);

// Every allocation of one reader comes here, so that the parser's own
// buffers are bounded too: a document can make it build an attribute value
// far larger than itself before any handler hears of it. Over the bound the
// allocation fails the way Xerces expects memory to fail. Blocks are kept in
// a list so that whatever the parser leaves behind (after such a failure,
// or in its own small leaks) is freed with the reader.
class BoundedMemoryManager final : public xercesc::MemoryManager {
public:
    BoundedMemoryManager();
    ~BoundedMemoryManager() override;
    BoundedMemoryManager(const BoundedMemoryManager&) = delete;
    BoundedMemoryManager& operator=(const BoundedMemoryManager&) = delete;

    xercesc::MemoryManager* getExceptionMemoryManager() override;
    void* allocate(XMLSize_t size) override;
    void deallocate(void* p) override;

    // From now on the blocks may grow by at most growth bytes in all, none
    // larger than largest; what is held already does not count.
    void limit(std::size_t growth, std::size_t largest);
    void lowerGrowthLimit(std::size_t growth);
    void unlimit();
    // An allocation was refused since the last limit().
    bool exceeded() const { return exceeded_; }

private:
    // 32 bytes, so the block after it keeps the alignment operator new
    // gives. (Not alignas: the reader holding this manager is placed by
    // Xerces' operator new, which aligns to 8 bytes only.)
    struct Block {
        Block* prev;
        Block* next;
        std::size_t size;  // what it costs, header included
        std::size_t unused;
    };
    static void unlink(Block* block);

    Block head_{};
    std::size_t live_ = 0;
    std::size_t base_ = 0;
    std::size_t growthLimit_ = std::numeric_limits<std::size_t>::max();
    std::size_t largest_ = std::numeric_limits<std::size_t>::max();
    bool exceeded_ = false;
};

// Counts text the parser hands out (and may stop the parse by throwing).
class TextMeter {
public:
    virtual void spend(std::size_t units) = 0;

protected:
    ~TextMeter() = default;
};

// Always the reader's lexical handler: comments are text the parser builds
// whole and hands out, so they are counted; every event then goes on to
// the handler the reader's user set, if any.
class LexicalForwarder final : public xercesc::LexicalHandler {
public:
    void comment(const XMLCh* const chars, const XMLSize_t length) override {
        if (meter) meter->spend(length);
        if (next) next->comment(chars, length);
    }
    void endCDATA() override {
        if (next) next->endCDATA();
    }
    void endDTD() override {
        if (next) next->endDTD();
    }
    void endEntity(const XMLCh* const name) override {
        if (next) next->endEntity(name);
    }
    void startCDATA() override {
        if (next) next->startCDATA();
    }
    void startDTD(const XMLCh* const name, const XMLCh* const publicId,
                  const XMLCh* const systemId) override {
        if (next) next->startDTD(name, publicId, systemId);
    }
    void startEntity(const XMLCh* const name) override {
        if (next) next->startEntity(name);
    }

    xercesc::LexicalHandler* next = nullptr;
    TextMeter* meter = nullptr;
};

// Constructed before the reader that uses them and destroyed after it.
struct ReaderBounds {
    BoundedMemoryManager memory;
    xercesc::SecurityManager security;
    LexicalForwarder lexical;
};

// Notes when a bound ended a document, and refuses to parse again once the
// parser ran out of its memory (Xerces leaves a reader unusable after that).
class BoundedReader final : private ReaderBounds, public xercesc::SAX2XMLReaderImpl {
public:
    BoundedReader();

    // Before each document: bounds for one of this many bytes, with at most
    // this many entity references written in it.
    void prepare(std::size_t bytes, std::size_t references);
    // After it: the reader keeps what it holds, without bound, until the
    // next document is prepared.
    void finish();

    // Comments are counted against meter while it is set.
    void setTextMeter(TextMeter* meter) { lexical.meter = meter; }

    bool expansionsExceeded() const { return expansionsExceeded_; }
    bool memoryExceeded() const { return memory.exceeded(); }
    bool spent() const { return spent_; }
    xercesc::SecurityManager* securityManager() { return &security; }

    // The user's lexical handler sits behind the reader's own.
    void setLexicalHandler(xercesc::LexicalHandler* const handler) override {
        lexical.next = handler;
    }
    xercesc::LexicalHandler* getLexicalHandler() const override { return lexical.next; }

    // The document declares entities or attributes of its own: from here
    // on it is held to less memory. (Xerces reports it only to a reader
    // with a lexical handler, which this one always has.)
    void startIntSubset() override;
    // A DOCTYPE that names no DTD (HTML5's "<!DOCTYPE html>"), or one whose
    // DTD is not an XHTML one, still means the XHTML named entities: they
    // are declared once the page's own declarations are read, so that
    // those come first, as the first declaration of a name is the one
    // that holds.
    void doctypeDecl(const xercesc::DTDElementDecl& root, const XMLCh* const publicId,
                     const XMLCh* const systemId, const bool hasIntSubset,
                     const bool hasExtSubset) override;
    void endIntSubset() override;
    void endExtSubset() override;
    void error(const unsigned int errCode, const XMLCh* const msgDomain,
               const xercesc::XMLErrorReporter::ErrTypes errType, const XMLCh* const errorText,
               const XMLCh* const systemId, const XMLCh* const publicId, const XMLFileLoc lineNum,
               const XMLFileLoc colNum) override;

private:
    void declareXhtmlEntities();

    std::size_t declaringGrowth_ = std::numeric_limits<std::size_t>::max();
    bool hasExtSubset_ = false;
    bool expansionsExceeded_ = false;
    bool spent_ = false;
};

}  // namespace tavix
