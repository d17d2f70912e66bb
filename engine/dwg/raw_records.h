// Records a DWG read could not decode, carried into other files without being understood.
//
// A record kept raw (Object::dwgType / Object::dwgRaw) goes back into an AC1027 file in one of
// two forms:
//   - copied: records of R2007..R2018 files share the AC1027 layout apart from their framing and
//     a few flag bits of the common part; `reframeRecord` rewrites the frame (size, handle-stream
//     size, type number, CRC) and adds those bits, leaving the type's own part as it was;
//   - as a proxy (ACAD_PROXY_ENTITY 498 / ACAD_PROXY_OBJECT 499): the type's own part becomes the
//     proxy's data bits and its own handles the proxy's references, with the class it belongs to
//     and the drawing format the data is in. R13..R2004 records (texts inline, 8-bit) can only
//     travel this way, and DXF has only this form for them.
// Proxy records read from DXF (ACAD_PROXY_ENTITY / ACAD_PROXY_OBJECT) use the same structure.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "engine/dwg/bits.h"
#include "engine/dwg/objects.h"
#include "engine/dwg/objects_write.h"
#include "engine/model/drawing.h"

namespace kel::dwg {

struct ProxyRecord {
  bool entity = false;
  int32_t classId = 0;        // the class's type number (500 + its place in the class list)
  uint32_t format = 0;        // drawing format of the data: version code | maintenance << 16
  bool dxfData = false;       // the data is DXF-shaped: it has no DWG form
  std::string graphics;       // entities: the graphics an application without the class draws
  std::vector<uint8_t> data;  // the data bits, first bit most significant
  size_t dataBits = 0;
  // The data ends with its own string stream and presence flag (formats from R2007 on); other
  // data gets an empty string stream appended when written into an AC1027 record.
  bool dataHasStrings = false;
  std::vector<std::pair<int, Handle>> handles;  // DXF code (330/340/350/360) and handle
};

// The version a drawing read from DWG came from (its d.version, e.g. 1024); false for others.
bool versionOfDrawing(int acadNumber, Version* v);

// The drawing-format code of a file version (AC1027 -> 31, AC1015 -> 23, ...).
uint32_t formatCode(Version v);

// The classes of a drawing (its CLASS group lists), numbered 500 on in list order.
std::vector<DwgClass> classesOf(const std::vector<Tags>& classTags);

// Rewrites a raw record of an R2007..R2018 file as a complete AC1027 record of type `newType`:
// size, handle-stream size, the data with the common part's later flag bits added, the handle
// stream unchanged, CRC. False when the record's common part cannot be read.
bool reframeRecord(std::span<const uint8_t> raw, Version from, const std::vector<DwgClass>& classes,
                   uint16_t newType, std::vector<uint8_t>& out);

// The proxy form of a raw record: its own part as data, its own handles as references.
bool proxyFromRaw(std::span<const uint8_t> raw, Version from, uint32_t format, const std::vector<DwgClass>& classes,
                  int32_t classId, ProxyRecord& out);

// The proxy form of any raw record that has one: a record of a class (`dwgType` 500 on), or a
// proxy the file itself holds (498 / 499) from a release before R2007, whose own part is the
// original class number (after the proxy's own type number in R13 files), from R2000 on the
// data's format, then the data.
bool proxyOfRawRecord(std::span<const uint8_t> raw, uint16_t dwgType, Version from, uint32_t maint,
                      const std::vector<DwgClass>& classes, ProxyRecord& out);

// The bits at the end of a proxy's data that are its string stream with its size and presence
// flag (0 when the data has none of its own).
size_t stringSectionBits(const ProxyRecord& p);

// A proxy record read from DXF groups; false when it lacks its data or class.
bool proxyFromTags(const Object& o, ProxyRecord& out);

// The proxy's DXF groups (subclass marker on), for the end of an exported record's body.
void proxyTags(const ProxyRecord& p, Tags& out);

// A complete AC1027 proxy record (498 / 499): the common part from `o` and `plan` as the writer
// writes every record (without graphics), then the proxy's own part. References to records the
// file lacks become null.
bool encodeProxy(const Object& o, const RecordPlan& plan, const WriteContext& ctx, const ProxyRecord& p,
                 std::vector<uint8_t>& out);

}  // namespace kel::dwg
