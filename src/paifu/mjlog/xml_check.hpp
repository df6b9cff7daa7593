// The lexical checks of XML well-formedness that the tree parser leaves out.
#pragma once

#include <string_view>

namespace paifu::mjlog {

// Checks what pugixml accepts but XML forbids: text that is not UTF-8 or holds characters
// outside XML's set, references other than the five predefined entities and character
// references to XML characters, a DOCTYPE (this reader expands no declared entities, so a
// document with one is refused rather than read differently), "<" in an attribute value, an
// attribute given twice, a misplaced XML declaration, malformed comments, and anything but
// comments, processing instructions and white space around the one root element. Element
// nesting is matched by the parser. Returns the first fault found, or nullptr.
const char* find_xml_fault(std::string_view text);

}  // namespace paifu::mjlog
