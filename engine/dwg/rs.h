// Reed-Solomon codes of the R2007 file format.
//
// R2007 protects its file header and system pages with RS(255,239) over GF(256) built on the
// polynomial 0x169, and its data pages with RS(255,251) over GF(256) built on 0x11D. In both, byte
// i of a 255-byte code word is the coefficient of x^i and the code word vanishes at alpha^1 ..
// alpha^parity. Code words are stored interleaved: with n blocks, byte j of block b sits at
// file byte j * n + b. The data bytes of a block are its first 239 (or 251) bytes.
//
// Decoding undamaged files needs only the de-interleaving; the decoder also checks every code word
// and corrects up to parity/2 damaged bytes per word.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kel::dwg::rs {

enum class Code : uint8_t {
  System,  // file header and system pages: 239 data + 16 parity bytes
  Data,    // data pages: 251 data + 4 parity bytes
};

inline constexpr size_t kBlockSize = 255;
size_t dataBytes(Code code);    // 239 or 251
size_t parityBytes(Code code);  // 16 or 4

// The number of code words needed for `payload` bytes.
size_t blocksFor(Code code, size_t payload);

// Checks one code word and repairs it in place. Returns the number of bytes corrected (0 for an
// intact word) or -1 when the damage is beyond what the parity can repair (the word is left as is).
int correct(Code code, std::span<uint8_t, kBlockSize> word);

struct DecodeResult {
  size_t corrected = 0;       // bytes repaired over all code words
  size_t uncorrectable = 0;   // code words whose damage could not be repaired
};

// De-interleaves `blocks` code words from `src` (at least blocks * 255 bytes) and appends their
// data bytes to `out` (blocks * dataBytes(code) bytes). With `repair`, each word is checked and
// corrected first; an uncorrectable word contributes its data bytes unchanged.
// Returns false (appending nothing) when `src` is too short.
bool deinterleave(Code code, std::span<const uint8_t> src, size_t blocks, std::vector<uint8_t>& out,
                  bool repair, DecodeResult* result = nullptr);

}  // namespace kel::dwg::rs
