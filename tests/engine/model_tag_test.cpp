// The 24-byte group: text kept in place up to 15 bytes and in its own block beyond, sharing its
// storage with the real and the integer; copies are deep, moves hand the block over.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "engine/model/tag.h"

namespace ke = kel::engine;
using ke::Tag;

namespace {
// Texts on both sides of the in-place limit, with a NUL and high bytes inside.
std::vector<std::string> samples() {
  return {"", "A", std::string("a\0b", 3), std::string(15, 'x'), std::string(16, 'y'),
          "AcDbBlockReference", std::string(300, '\xFF')};
}

void expectText(const Tag& t, const std::string& want) {
  ASSERT_EQ(t.s.size(), want.size());
  EXPECT_EQ(std::string(t.s), want);
  EXPECT_EQ(std::memcmp(t.s.c_str(), want.c_str(), want.size() + 1), 0) << "c_str ends with a NUL";
}
}  // namespace

TEST(Tag, AssignCopyMoveAcrossLengths) {
  static_assert(std::is_nothrow_move_constructible_v<Tag> && std::is_nothrow_move_assignable_v<Tag>);
  for (const auto& a : samples()) {
    for (const auto& b : samples()) {
      Tag t = Tag::str(1, a);
      expectText(t, a);
      t.s = b;  // inline <-> block in every direction
      expectText(t, b);

      Tag c(t);  // deep copy: changing the copy leaves the original alone
      if (!b.empty()) c.s[0] = 'Z';
      expectText(t, b);
      Tag u = Tag::str(2, a);
      u = t;
      expectText(u, b);
      const Tag& same = u;
      u = same;  // self-assignment keeps the text
      expectText(u, b);

      Tag m(std::move(u));
      expectText(m, b);
      EXPECT_TRUE(u.s.empty());
      EXPECT_STREQ(u.s.c_str(), "");
      Tag n = Tag::str(3, a);
      n = std::move(m);
      expectText(n, b);
      EXPECT_EQ(n.code, 1);
    }
  }
  // Vector growth moves every group; all texts must survive.
  std::vector<Tag> v;
  for (int k = 0; k < 200; ++k) v.push_back(Tag::str(k, std::string(size_t(k % 40), char('a' + k % 26))));
  for (int k = 0; k < 200; ++k) expectText(v[size_t(k)], std::string(size_t(k % 40), char('a' + k % 26)));
}

TEST(Tag, TextAndNumberShareTheValue) {
  static_assert(sizeof(Tag) == 24);
  EXPECT_TRUE(Tag::real(10, 1.5).s.empty());
  EXPECT_TRUE(Tag::integer(70, -7).s.empty());
  EXPECT_STREQ(Tag::handle(5, 0x1F).s.c_str(), "");
  EXPECT_EQ(ke::asInt(Tag::integer(40, 3)), 3);  // a real code given an integer holds a real
  EXPECT_EQ(Tag::integer(40, 3).kind, ke::ValueKind::Double);
  EXPECT_EQ(ke::asInt(Tag::integer(0, 7)), 7);  // a text code given an integer (the writer's queue)

  // A text group reads as zero through the helpers, whatever its bytes are.
  for (const auto& text : samples()) {
    Tag t = Tag::str(330, text);
    EXPECT_EQ(ke::asInt(t), 0);
    EXPECT_EQ(ke::asDouble(t), 0.0);
  }
  // Writing the number over a long text does not lose its block (ASan would report the leak or
  // a bad free), and the text is still there for a group that turns out to be text after all.
  Tag t = Tag::str(5, std::string(40, 'h'));
  t.kind = ke::ValueKind::Handle;
  t.i = 0x2A;
  EXPECT_EQ(t.i, 0x2A);
  t.kind = ke::ValueKind::String;
  expectText(t, std::string(40, 'h'));
  // Short text is the value's storage itself: clearing zeroes both.
  t.s = "abc";
  t.s.clear();
  EXPECT_EQ(t.i, 0);
  EXPECT_TRUE(t.s.empty());

  Tag bin;
  bin.kind = ke::ValueKind::Binary;
  bin.s = std::string("\x00\x01\xFE", 3);
  Tag copy = bin;
  EXPECT_EQ(copy.s, std::string_view("\x00\x01\xFE", 3));
}

TEST(Tag, AppendResizeAndOwnText) {
  Tag t;
  std::string want;
  for (int k = 0; k < 300; ++k) {  // byte by byte across the in-place limit
    t.s += char('0' + k % 10);
    want += char('0' + k % 10);
  }
  expectText(t, want);
  Tag c = t;  // a grown block is copied exactly; both go on growing on their own
  for (int k = 0; k < 40; ++k) c.s += 'c', t.s.append(t.s.view().substr(0, 3));
  expectText(c, want + std::string(40, 'c'));
  EXPECT_EQ(t.s.size(), want.size() + 120);
  EXPECT_EQ(t.s.view().substr(want.size(), 6), "012012");
  for (size_t len : {size_t(5), size_t(20)}) {  // the text appended or assigned is the text itself
    t.s = std::string(len, 'q');
    t.s.append(t.s.view());
    expectText(t, std::string(2 * len, 'q'));
    t.s = t.s.view().substr(1);
    expectText(t, std::string(2 * len - 1, 'q'));
  }
  t.s = "ab";
  t.s.resize(20);
  expectText(t, std::string("ab") + std::string(18, '\0'));
  t.s.resize(17);
  expectText(t, std::string("ab") + std::string(15, '\0'));
  t.s.resize(1);
  expectText(t, "a");
  t.s.resize(4);
  expectText(t, std::string("a\0\0\0", 4));
}

TEST(Tag, ReadsLikeAString) {
  Tag t = Tag::str(100, "AcDbEntity");
  EXPECT_TRUE(t.s == "AcDbEntity");
  EXPECT_TRUE("AcDbEntity" == t.s);
  EXPECT_TRUE(t.s != std::string("AcDbLine"));
  EXPECT_TRUE(t.s < Tag::str(100, "AcDbLine").s);
  EXPECT_EQ("<" + t.s + ">", "<AcDbEntity>");
  EXPECT_EQ(t.s + t.s, "AcDbEntityAcDbEntity");
  EXPECT_EQ(t.s.substr(4), "Entity");
  EXPECT_EQ(t.s.find("Ent"), 4u);
  EXPECT_TRUE(t.s.starts_with("AcDb"));
  std::string out;
  for (char c : t.s) out += c;
  EXPECT_EQ(out, "AcDbEntity");
  std::string copy = t.s;
  std::string_view view = t.s;
  EXPECT_EQ(copy, view);
  EXPECT_EQ(::testing::PrintToString(t.s), "\"AcDbEntity\"");
}
