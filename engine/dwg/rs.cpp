#include "engine/dwg/rs.h"

#include <array>

namespace kel::dwg::rs {

namespace {

constexpr size_t kMaxParity = 16;

// GF(256) built on one primitive polynomial: exponent and logarithm tables, and for the roots
// alpha^1..alpha^16 a table of products so that checking a word costs one lookup per byte and root.
struct Field {
  std::array<uint8_t, 512> exp{};  // doubled so that exp[a + b] needs no reduction
  std::array<uint8_t, 256> log{};
  std::array<std::array<uint8_t, 256>, kMaxParity> timesRoot{};  // [j][v] = v * alpha^(j+1)

  constexpr explicit Field(unsigned poly) {
    unsigned x = 1;
    for (unsigned i = 0; i < 255; ++i) {
      exp[i] = uint8_t(x);
      log[x] = uint8_t(i);
      x <<= 1;
      if (x & 0x100) x ^= poly;
    }
    for (unsigned i = 255; i < 512; ++i) exp[i] = exp[i - 255];
    for (unsigned j = 0; j < kMaxParity; ++j)
      for (unsigned v = 1; v < 256; ++v) timesRoot[j][v] = exp[log[v] + j + 1];
  }

  uint8_t mul(uint8_t a, uint8_t b) const {
    return (a && b) ? exp[unsigned(log[a]) + log[b]] : 0;
  }
  uint8_t div(uint8_t a, uint8_t b) const {  // b != 0
    return a ? exp[unsigned(log[a]) + 255 - log[b]] : 0;
  }
  uint8_t pow(unsigned e) const { return exp[e % 255]; }
};

constexpr Field kSystemField(0x169);
constexpr Field kDataField(0x11D);

const Field& fieldOf(Code code) { return code == Code::System ? kSystemField : kDataField; }

// Evaluates a polynomial given low degree first at x.
uint8_t evaluate(const Field& f, const uint8_t* poly, size_t count, uint8_t x) {
  uint8_t r = 0;
  for (size_t i = count; i-- > 0;) r = uint8_t(f.mul(r, x) ^ poly[i]);
  return r;
}

// Syndromes S_j = C(alpha^j), j = 1..P, by Horner's rule from the highest coefficient down; the
// root count is fixed at compile time so that the inner loop unrolls.
template <size_t P>
void syndromes(const Field& f, const uint8_t* word, uint8_t* s) {
  for (size_t i = kBlockSize; i-- > 0;)
    for (size_t j = 0; j < P; ++j) s[j] = uint8_t(f.timesRoot[j][s[j]] ^ word[i]);
}

}  // namespace

size_t dataBytes(Code code) { return kBlockSize - parityBytes(code); }
size_t parityBytes(Code code) { return code == Code::System ? 16 : 4; }

size_t blocksFor(Code code, size_t payload) {
  size_t k = dataBytes(code);
  return payload / k + (payload % k ? 1 : 0);
}

int correct(Code code, std::span<uint8_t, kBlockSize> word) {
  const Field& f = fieldOf(code);
  const size_t parity = parityBytes(code);

  // Syndromes, S_j stored at index j-1.
  std::array<uint8_t, kMaxParity> s{};
  if (parity == 4)
    syndromes<4>(f, word.data(), s.data());
  else
    syndromes<16>(f, word.data(), s.data());
  bool clean = true;
  for (size_t j = 0; j < parity; ++j) clean = clean && s[j] == 0;
  if (clean) return 0;

  // Berlekamp-Massey: the error locator lambda (low degree first, lambda[0] = 1).
  std::array<uint8_t, kMaxParity + 1> lambda{}, prev{}, tmp{};
  lambda[0] = prev[0] = 1;
  size_t errors = 0, shift = 1;
  uint8_t prevDelta = 1;
  for (size_t n = 0; n < parity; ++n) {
    uint8_t delta = s[n];
    for (size_t i = 1; i <= errors; ++i) delta ^= f.mul(lambda[i], s[n - i]);
    if (delta == 0) {
      ++shift;
      continue;
    }
    uint8_t scale = f.div(delta, prevDelta);
    tmp = lambda;
    for (size_t i = 0; i + shift <= kMaxParity; ++i) lambda[i + shift] ^= f.mul(scale, prev[i]);
    if (2 * errors <= n) {
      errors = n + 1 - errors;
      prev = tmp;
      prevDelta = delta;
      shift = 1;
    } else {
      ++shift;
    }
  }
  if (errors == 0 || 2 * errors > parity) return -1;

  // Chien search: position i is in error when lambda(alpha^-i) = 0.
  std::array<size_t, kMaxParity> where{};
  size_t found = 0;
  for (size_t i = 0; i < kBlockSize; ++i) {
    uint8_t xinv = f.pow(unsigned(255 - i));
    if (evaluate(f, lambda.data(), errors + 1, xinv) == 0) {
      if (found == errors) return -1;
      where[found++] = i;
    }
  }
  if (found != errors) return -1;

  // Forney: omega = S * lambda mod x^parity; magnitude = omega(X^-1) / lambda'(X^-1).
  std::array<uint8_t, kMaxParity> omega{};
  for (size_t i = 0; i < parity; ++i)
    for (size_t j = 0; j <= i && j <= errors; ++j) omega[i] ^= f.mul(s[i - j], lambda[j]);
  std::array<uint8_t, kMaxParity> fix{};
  for (size_t e = 0; e < found; ++e) {
    uint8_t xinv = f.pow(unsigned(255 - where[e]));
    uint8_t num = evaluate(f, omega.data(), parity, xinv);
    // Formal derivative in characteristic 2 keeps the odd powers only.
    uint8_t den = 0;
    uint8_t xpow = 1;  // xinv^(i-1) for odd i, stepping by xinv^2
    uint8_t xinv2 = f.mul(xinv, xinv);
    for (size_t i = 1; i <= errors; i += 2) {
      den ^= f.mul(lambda[i], xpow);
      xpow = f.mul(xpow, xinv2);
    }
    if (den == 0) return -1;
    fix[e] = f.div(num, den);
  }
  for (size_t e = 0; e < found; ++e) word[where[e]] ^= fix[e];

  // A decoding that does not leave a valid word was a mis-correction: undo it.
  for (size_t j = 0; j < parity; ++j) {
    if (evaluate(f, word.data(), kBlockSize, f.pow(unsigned(j + 1))) != 0) {
      for (size_t e = 0; e < found; ++e) word[where[e]] ^= fix[e];
      return -1;
    }
  }
  return int(found);
}

bool deinterleave(Code code, std::span<const uint8_t> src, size_t blocks, std::vector<uint8_t>& out,
                  bool repair, DecodeResult* result) {
  if (blocks == 0) return true;
  if (blocks > src.size() / kBlockSize) return false;
  const size_t k = dataBytes(code);
  out.reserve(out.size() + blocks * k);
  std::array<uint8_t, kBlockSize> word{};
  for (size_t b = 0; b < blocks; ++b) {
    for (size_t j = 0; j < kBlockSize; ++j) word[j] = src[j * blocks + b];
    if (repair) {
      int fixed = correct(code, word);
      if (result) {
        if (fixed < 0)
          ++result->uncorrectable;
        else
          result->corrected += size_t(fixed);
      }
    }
    out.insert(out.end(), word.begin(), word.begin() + long(k));
  }
  return true;
}

}  // namespace kel::dwg::rs
