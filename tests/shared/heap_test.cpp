#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "lib/cpu/shared/heap.h"

namespace {

// Refuses every heap request while alive, remembering the tag of the last one.
struct RefuseAll {
  std::string file;
  int32_t line = 0;
  RefuseAll() {
    heapHooks().refuse = [this](size_t, const char* f, int32_t l) {
      file = f ? f : "";
      line = l;
      return true;
    };
  }
  ~RefuseAll() { heapHooks().refuse = {}; }
};

TEST(Heap, RefusedRequestsAnswerNullAndCarryTheirTag) {
  auto* z = static_cast<unsigned char*>(allocZeroed(64, __FILE__, __LINE__));
  ASSERT_NE(z, nullptr);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(z[i], 0) << i;
  std::free(z);  // every block belongs to the C heap
  RefuseAll refuse;
  EXPECT_EQ(allocZeroed(8, "there", 22), nullptr);
  EXPECT_EQ(refuse.file, "there");
  EXPECT_EQ(refuse.line, 22);
  EXPECT_EQ(dupMem("abc", 4, "dup", 33), nullptr);
}

TEST(Heap, ReallocKeepsContentsAndReleasesTheBlockOnFailure) {
  auto* p = static_cast<char*>(dupMem("abc", 4, __FILE__, __LINE__));
  p = static_cast<char*>(reallocMem(p, 1 << 20, __FILE__, __LINE__));
  ASSERT_NE(p, nullptr);
  EXPECT_STREQ(p, "abc");
  {
    RefuseAll refuse;
    // The old block is gone afterwards; the sanitizer build's leak check would see it otherwise.
    EXPECT_EQ(reallocMem(p, 1 << 21, __FILE__, __LINE__), nullptr);
  }
  EXPECT_EQ(reallocMem(allocMem(16, __FILE__, __LINE__), 0, __FILE__, __LINE__), nullptr);
}

char16_t* heapWide(const char16_t* s) {
  size_t n = std::char_traits<char16_t>::length(s);
  return static_cast<char16_t*>(dupMem(s, (n + 1) * 2, __FILE__, __LINE__));
}

TEST(Heap, ReassignStringReusesTheBlockOnlyWhenItIsLongEnough) {
  char16_t* s = heapWide(u"hello");
  char16_t* before = s;
  EXPECT_EQ(reassignString(&s, u"hi"), before);
  EXPECT_EQ(std::u16string(s), u"hi");
  // The current length stands for the capacity: three characters no longer fit in place.
  EXPECT_EQ(reassignString(&s, u"hel"), s);
  EXPECT_NE(s, before);
  before = s;
  EXPECT_EQ(reassignString(&s, u"abc"), before);  // equally long stays in place

  char16_t* none = nullptr;
  EXPECT_EQ(reassignString(&none, u"x"), nullptr);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(reassignString(&s, nullptr), nullptr);
  EXPECT_EQ(std::u16string(s), u"abc");
  RefuseAll refuse;
  EXPECT_EQ(reassignString(&s, u"longer"), nullptr);
  EXPECT_EQ(s, nullptr);  // old block released, variable emptied
}

TEST(Heap, FreeAndNullClearsTheVariable) {
  freeAndNull(static_cast<void**>(nullptr));
  char* c = static_cast<char*>(allocMem(3, __FILE__, __LINE__));
  freeAndNull(&c);
  EXPECT_EQ(c, nullptr);
  freeAndNull(&c);
  EXPECT_EQ(c, nullptr);
}

}  // namespace
