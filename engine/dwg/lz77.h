// The LZ77 variant that compresses R2004+ DWG pages (data pages, page map, section map).
//
// A stream is an optional first literal run, then matches, each followed by 0-3 literals coded in
// the match's low bits or by a literal run of 4 or more; 0x11 ends it. Matches copy from up to
// 0x7FFF bytes back, byte by byte, so overlapping copies repeat a pattern.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kel::dwg {

struct DecompressResult {
  bool ok = false;       // the stream ended with 0x11 and stayed inside both buffers
  size_t produced = 0;   // bytes written to the output
  size_t consumed = 0;   // bytes read from the input, up to and including the end marker
};

// Decompresses `src` into `dst`. Never reads outside `src` nor writes outside `dst`: a stream that
// wants more room, copies from before the output start, uses an unknown opcode or runs out of input
// stops with ok == false (what was produced until then stays in `dst`).
DecompressResult decompress2004(std::span<const uint8_t> src, std::span<uint8_t> dst);

// Compresses `src` and appends the stream to `out`, ending with 0x11 0x00 0x00 as the reference
// writer does. Uses hash-chain matching over the whole 0x7FFF window. The format cannot express
// inputs of 1 to 3 bytes (a literal run is at least 4 long); for those it returns false and appends
// nothing.
bool compress2004(std::span<const uint8_t> src, std::vector<uint8_t>& out);

}  // namespace kel::dwg
