// Bringing a drawing to the full record structure of current files, whatever it was read from:
// handles for every record, the nine symbol tables with their standard entries, a block record per
// block, owners, subclass markers, the named-object dictionary with groups and layouts. Used after
// every DXF read (an R12 file has none of this) and to build a new drawing's default content.
#pragma once
#include <string>
#include <vector>

#include "engine/model/drawing.h"

namespace kel::engine {

// What the pass changed or repaired, one line each, for the import log.
using Notes = std::vector<std::string>;

void completeStructure(Drawing& d, Notes& notes);
void buildDefaultDrawing(Drawing& d);

// Turns the records a DWG read kept raw (their bytes only, no DXF form) into proxy entities and
// objects where their class allows, and leaves out the rest, with what they own and the
// dictionary entries, reactors, extension dictionaries and pointers that name them.
// Answers how many records went.
size_t dropRawRecords(Drawing& d);

// Inserts the subclass markers a record of a file without them (R12) needs, distributing its
// groups over them. Records that already have markers are left alone.
void addSubclassMarkers(Object& o, bool tableEntry);

// The subclass marker of a table's entries ("AcDbLayerTableRecord" for "LAYER").
const char* tableRecordMarker(const std::string& table);

// The standard order of the nine symbol tables.
const std::vector<std::string>& standardTables();

}  // namespace kel::engine
