#include "formats/BoundedReader.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <new>

#include <xercesc/framework/XMLErrorCodes.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/util/XMLUni.hpp>
#include <xercesc/validators/DTD/DTDEntityDecl.hpp>
#include <xercesc/validators/DTD/DTDGrammar.hpp>

#include "formats/XhtmlEntities.h"

namespace tavix {

using namespace xercesc;

namespace {

// Expansions: every reference written in the document may be expanded once,
// so a page may use &nbsp; as often as it likes; only entities that refer to
// other entities multiply the count, and those get this allowance.
constexpr std::size_t kNestedExpansions = 50000;
// Memory: what the parser needs whatever the document (its buffers, the
// XHTML entity table, some 160 KB for each entity being expanded inside
// another) plus room in proportion to the document. An honest attribute
// value takes up to 12 bytes of the parser's memory per byte at once (an
// image written into an attribute can be most of a page). Only a document
// with declarations of its own (an internal DTD subset) can make the parser
// multiply what it reads; it gets a third of that room, which still holds
// attributes of a few hundred kilobytes. The largest single block bounds
// one attribute value, which the parser builds whole in blocks of up to 4
// bytes per character.
constexpr std::size_t kParserMemory = 2 * 1024 * 1024;
constexpr std::size_t kMemoryPerByte = 12;
constexpr std::size_t kMemoryPerByteWithDeclarations = 4;
constexpr std::size_t kLargestBlockBase = 256 * 1024;
constexpr std::size_t kLargestBlockPerByte = 4;

constexpr std::size_t kUnbounded = std::numeric_limits<std::size_t>::max();
// The allocator's own bookkeeping for each block, about.
constexpr std::size_t kMallocOverhead = 16;

}  // namespace

std::size_t saturatingAdd(std::size_t a, std::size_t b) {
    return b > kUnbounded - a ? kUnbounded : a + b;
}

std::size_t saturatingMul(std::size_t a, std::size_t b) {
    return a != 0 && b > kUnbounded / a ? kUnbounded : a * b;
}

BoundedMemoryManager::BoundedMemoryManager() { head_.prev = head_.next = &head_; }

BoundedMemoryManager::~BoundedMemoryManager() {
    while (head_.next != &head_) {
        Block* block = head_.next;
        unlink(block);
        ::operator delete(block);
    }
}

MemoryManager* BoundedMemoryManager::getExceptionMemoryManager() {
    return XMLPlatformUtils::fgMemoryManager;
}

void* BoundedMemoryManager::allocate(XMLSize_t size) {
    static_assert(sizeof(Block) % alignof(std::max_align_t) == 0);
    // What the block really takes: a document of many small declarations
    // costs more in headers than in content.
    const std::size_t cost = saturatingAdd(size, sizeof(Block) + kMallocOverhead);
    const std::size_t grown = live_ > base_ ? live_ - base_ : 0;
    if (size > largest_ || cost > growthLimit_ || grown > growthLimit_ - cost) {
        exceeded_ = true;
        throw OutOfMemoryException();
    }
    void* raw = ::operator new(sizeof(Block) + size, std::nothrow);
    if (!raw) throw OutOfMemoryException();
    Block* block = static_cast<Block*>(raw);
    block->size = cost;
    block->next = head_.next;
    block->prev = &head_;
    head_.next->prev = block;
    head_.next = block;
    live_ += cost;
    return block + 1;
}

void BoundedMemoryManager::deallocate(void* p) {
    if (!p) return;
    Block* block = static_cast<Block*>(p) - 1;
    live_ -= block->size;
    unlink(block);
    ::operator delete(block);
}

void BoundedMemoryManager::limit(std::size_t growth, std::size_t largest) {
    base_ = live_;
    growthLimit_ = growth;
    largest_ = largest;
    exceeded_ = false;
}

void BoundedMemoryManager::unlimit() { limit(kUnbounded, kUnbounded); }

void BoundedMemoryManager::lowerGrowthLimit(std::size_t growth) {
    if (growth < growthLimit_) growthLimit_ = growth;
}

void BoundedMemoryManager::unlink(Block* block) {
    block->prev->next = block->next;
    block->next->prev = block->prev;
}

BoundedReader::BoundedReader() : SAX2XMLReaderImpl(&memory) {
    SAX2XMLReaderImpl::setLexicalHandler(&lexical);
}

void BoundedReader::prepare(std::size_t bytes, std::size_t references) {
    expansionsExceeded_ = false;
    // The scanner reads the limit afresh at the start of every document.
    security.setEntityExpansionLimit(saturatingAdd(kNestedExpansions, references));
    memory.limit(saturatingAdd(kParserMemory, saturatingMul(kMemoryPerByte, bytes)),
                 saturatingAdd(kLargestBlockBase, saturatingMul(kLargestBlockPerByte, bytes)));
    declaringGrowth_ =
        saturatingAdd(kParserMemory, saturatingMul(kMemoryPerByteWithDeclarations, bytes));
}

void BoundedReader::startIntSubset() {
    memory.lowerGrowthLimit(declaringGrowth_);
    SAX2XMLReaderImpl::startIntSubset();
}

void BoundedReader::doctypeDecl(const DTDElementDecl& root, const XMLCh* const publicId,
                                const XMLCh* const systemId, const bool hasIntSubset,
                                const bool hasExtSubset) {
    hasExtSubset_ = hasExtSubset;
    SAX2XMLReaderImpl::doctypeDecl(root, publicId, systemId, hasIntSubset, hasExtSubset);
    if (!hasIntSubset && !hasExtSubset) declareXhtmlEntities();
}

void BoundedReader::endIntSubset() {
    SAX2XMLReaderImpl::endIntSubset();
    if (!hasExtSubset_) declareXhtmlEntities();
}

void BoundedReader::endExtSubset() {
    SAX2XMLReaderImpl::endExtSubset();
    declareXhtmlEntities();
}

void BoundedReader::declareXhtmlEntities() {
    // The grammar the scanner is filling: the document's DTD.
    auto* dtd = dynamic_cast<DTDGrammar*>(getGrammar(XMLUni::fgDTDEntityString));
    if (!dtd) return;
    XMLCh name[16];
    XMLCh value[2] = {0, 0};
    for (std::size_t i = 0; i < xhtmlEntityCount(); ++i) {
        const std::u16string_view n = xhtmlEntityName(i);
        if (n.size() >= std::size(name)) continue;
        std::copy(n.begin(), n.end(), name);
        name[n.size()] = 0;
        if (dtd->getEntityDecl(name)) continue;  // the page's own comes first
        value[0] = xhtmlEntityCharacter(i);
        // Counted as declared in the document itself: a standalone page
        // may use them as freely as its own.
        dtd->putEntityDecl(new (&memory) DTDEntityDecl(name, value, true, &memory));
    }
}

void BoundedReader::finish() {
    if (memory.exceeded()) spent_ = true;
    memory.unlimit();
}

void BoundedReader::error(const unsigned int errCode, const XMLCh* const msgDomain,
                          const XMLErrorReporter::ErrTypes errType, const XMLCh* const errorText,
                          const XMLCh* const systemId, const XMLCh* const publicId,
                          const XMLFileLoc lineNum, const XMLFileLoc colNum) {
    if (errCode == XMLErrs::EntityExpansionLimitExceeded &&
        XMLString::equals(msgDomain, XMLUni::fgXMLErrDomain))
        expansionsExceeded_ = true;
    SAX2XMLReaderImpl::error(errCode, msgDomain, errType, errorText, systemId, publicId, lineNum,
                             colNum);
}

}  // namespace tavix
