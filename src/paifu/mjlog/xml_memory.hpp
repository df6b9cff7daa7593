// The memory pugixml's documents are built in.
#pragma once

namespace paifu::mjlog {

// Makes pugixml keep a few of the pages a document frees for the next document (see
// xml_memory.cpp). Called before each parse; only the first call does anything.
void keep_xml_pages();

}  // namespace paifu::mjlog
