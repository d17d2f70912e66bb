// Bringing a drawing to the full record structure of current files, whatever it was read from:
// handles for every record, the nine symbol tables with their standard entries, a block record per
// block, owners, subclass markers, the named-object dictionary with groups and layouts. Used after
// every DXF read (an R12 file has none of this) and to build a new drawing's default content.
#pragma once
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/model/drawing.h"

namespace kel::engine {

// What the pass changed or repaired, one line each, for the import log.
using Notes = std::vector<std::string>;

void completeStructure(Drawing& d, Notes& notes);
// Clears pointers, reactors, extension dictionaries and owners that name no record of the drawing,
// and gives objects left without an owner to the named-object dictionary (one note when any).
void clearMissingReferences(Drawing& d, Notes& notes);
void buildDefaultDrawing(Drawing& d);

// Turns the records a DWG read kept raw (their bytes only, no DXF form) into proxy entities and
// objects where their class allows, and leaves out the rest, with what they own and the
// dictionary entries, reactors, extension dictionaries and pointers that name them.
// Answers how many records went.
size_t dropRawRecords(Drawing& d);

// The same decisions, worked out without changing the drawing, so that the DXF export can apply
// them record by record as it writes instead of working on a copy of the whole drawing. The
// plan refers to the drawing's records: it holds only while the drawing is not changed.
struct RawExportPlan {
  // Raw records without a proxy form, and every record they own (directly or further down).
  std::unordered_set<Handle> leftOut;
  // The proxy form (type and body) of the raw records that have one, by record.
  struct Proxy {
    std::string type;
    Tags body;
  };
  std::unordered_map<const Object*, Proxy> proxies;
  // Raw records without a proxy form (leftOut before what they own joins it).
  std::unordered_set<Handle> unconverted;
  // Every handle of the drawing, sorted: a proxy's pointers to records not in the file go.
  std::vector<Handle> handles;

  bool left(const Object& o) const { return !leftOut.empty() && leftOut.count(o.handle) > 0; }
};
RawExportPlan planRawExport(const Drawing& d);

// The record as the plan has it written: `o` itself when the plan changes nothing in it,
// otherwise `scratch` filled with the changed record. Whether the record is written at all is
// plan.left(o) (records in the lists of entities, block entities, objects and table entries).
const Object& exportForm(const RawExportPlan& plan, const Object& o, Object& scratch);

// Inserts the subclass markers a record of a file without them (R12) needs, distributing its
// groups over them. Records that already have markers are left alone.
void addSubclassMarkers(Object& o, bool tableEntry);

// The subclass marker of a table's entries ("AcDbLayerTableRecord" for "LAYER").
const char* tableRecordMarker(const std::string& table);

// The standard order of the nine symbol tables.
const std::vector<std::string>& standardTables();

}  // namespace kel::engine
