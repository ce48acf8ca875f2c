#pragma once
// The named character entities that the XHTML DTDs declare. Pages are never
// allowed to fetch a DTD, so a page naming one of the XHTML DTDs is given
// these declarations from memory instead: &nbsp; and its kin keep working.
#include <cstddef>
#include <string>
#include <string_view>

namespace tavix {

// The text an XHTML 1.0 named entity stands for (one UTF-16 code unit, all of
// them lie in the Basic Multilingual Plane), or empty for any other name.
// The five predefined XML entities are the parser's own and not listed.
std::u16string_view xhtmlEntity(std::u16string_view name);

// All of them, by index (0 .. xhtmlEntityCount() - 1), in name order.
std::size_t xhtmlEntityCount();
std::u16string_view xhtmlEntityName(std::size_t index);
char16_t xhtmlEntityCharacter(std::size_t index);

// A DTD (UTF-8) that declares every one of them, as character references.
const std::string& xhtmlEntityDeclarations();

// True for the public or system identifier of an XHTML 1.0 or 1.1 DTD.
bool isXhtmlDtd(std::u16string_view publicId, std::u16string_view systemId);

}  // namespace tavix
