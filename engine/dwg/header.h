// The header variables section of a DWG file, decoded into DXF-shaped variables.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/acadstrc.h"
#include "engine/dwg/bits.h"
#include "engine/model/tag.h"

namespace kel::dwg {

struct DwgHeaderVar {
  std::string name;  // without '$'; a leading '_' marks values DXF does not carry
  kel::engine::Tags values;
};

struct DwgHeader {
  std::vector<DwgHeaderVar> vars;  // in stored order
  // The first value of a variable as a handle / integer (0 when absent).
  kel::engine::Handle handle(const std::string& name) const;
  int64_t integer(const std::string& name, int64_t dflt = 0) const;
  const DwgHeaderVar* find(const std::string& name) const;
};

// One entry of the variable list (header_vars_dwg.def).
struct HeaderVarSpec {
  const char* name;
  const char* type;
  int code;
  Version since;
  Version until;
};
std::span<const HeaderVarSpec> headerVarSpecs();

// Decodes the variables. `payload` starts right after the section's size field(s): before R2007
// with the first variable, from R2007 on with the 32-bit size in bits of the data stream (the
// string stream ends there and the handle stream starts there, counted from that field).
// Returns eOk, or eDwgObjectImproperlyRead when the data runs out (`out` holds what was read).
Acad::ErrorStatus decodeHeader(std::span<const uint8_t> payload, Version v, uint16_t codePage, DwgHeader& out);

// The payload of a framed section (start sentinel, 32-bit size, [32-bit high size], payload, CRC,
// end sentinel) as the R2004-family containers hand it out whole. `hiSize`: files of R2010 with
// maintenance version above 3, and R2013+, store the extra size word.
bool framedPayload(std::span<const uint8_t> section, bool hiSize, std::span<const uint8_t>* payload);

}  // namespace kel::dwg
