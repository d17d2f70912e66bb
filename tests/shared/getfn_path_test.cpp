// Path splitting and joining: the parts, the rebuilt paths and the limits of the 260-unit buffers.
#include <gtest/gtest.h>

#include <string>

#include "lib/cpu/shared/getfn.h"

namespace {

struct Parts {
  std::u16string dir, name, ext;
  bool hasDir, hasName, hasExt;
};

Parts split(const char16_t* path) {
  char16_t *s1 = reinterpret_cast<char16_t*>(1), *s2 = s1, *s3 = s1;
  EXPECT_EQ(splitPath(path, &s1, &s2, &s3), 1);
  return Parts{s1 ? s1 : u"", s2 ? s2 : u"", s3 ? s3 : u"", s1 != nullptr, s2 != nullptr, s3 != nullptr};
}

std::u16string parts(const std::u16string& path, uint32_t which) {
  char16_t buf[260];
  getPathParts(buf, 260, path.c_str(), which);
  return buf;
}

std::u16string merged(std::u16string path, const char16_t* dir, const char16_t* name, const char16_t* ext,
                      bool replace, bool keepDots) {
  char16_t buf[260] = {};
  path.copy(buf, path.size());
  mergePath(buf, dir, name, ext, replace, keepDots);
  return buf;
}

TEST(SplitPath, DirectoryNameAndExtension) {
  Parts p = split(u"C:\\dir\\file.txt");
  EXPECT_EQ(p.dir, u"C:\\dir\\");
  EXPECT_EQ(p.name, u"file");
  EXPECT_EQ(p.ext, u"txt");

  p = split(u"file");
  EXPECT_TRUE(!p.hasDir && p.name == u"file" && !p.hasExt);
  p = split(u"C:file.txt");
  EXPECT_TRUE(p.dir == u"C:" && p.name == u"file" && p.ext == u"txt");
  p = split(u"C:\\dir.d\\file");
  EXPECT_TRUE(p.dir == u"C:\\dir.d\\" && p.name == u"file" && !p.hasExt);
  p = split(u"C:\\dir\\");
  EXPECT_TRUE(p.hasDir && !p.hasName && !p.hasExt);
  p = split(u".profile");
  EXPECT_TRUE(!p.hasDir && !p.hasName && p.ext == u"profile");
  p = split(u"file.");
  EXPECT_TRUE(p.name == u"file" && p.hasExt && p.ext.empty());
  p = split(u"a/b.c");
  EXPECT_TRUE(p.dir == u"a\\" && p.name == u"b" && p.ext == u"c");
  p = split((u"x." + std::u16string(300, u'e')).c_str());
  EXPECT_EQ(p.ext, std::u16string(256, u'e'));

  char16_t* untouched = reinterpret_cast<char16_t*>(8);
  EXPECT_EQ(splitPath(nullptr, &untouched, &untouched, &untouched), 0);
  EXPECT_EQ(untouched, reinterpret_cast<char16_t*>(8));
}

TEST(GetPathParts, RebuildsWhatWasSplit) {
  for (const char16_t* path : {u"C:\\dir\\file.txt", u"C:file.txt", u"file.", u".profile", u"\\\\srv\\share\\a.b.c"})
    EXPECT_EQ(parts(path, 7), path);
  EXPECT_EQ(parts(u"file.", 6), u"file.");
  EXPECT_EQ(parts(u"a/b/c.d", 1), u"a\\b\\");
  EXPECT_EQ(parts(u"C:\\data\\x.dwg", 2), u"x");
  EXPECT_EQ(parts(u"C:\\data\\x.dwg", 4), u".dwg");

  char16_t same[260] = u"C:\\data\\*.dwg";
  EXPECT_EQ(getPathParts(same, 260, same, 1), same);
  EXPECT_EQ(std::u16string(same), u"C:\\data\\");
  EXPECT_EQ(getPathParts(nullptr, 260, u"x", 1), nullptr);
  char16_t empty[4] = u"zzz";
  getPathParts(empty, 4, nullptr, 7);
  EXPECT_EQ(empty[0], 0);
  // A destination smaller than the path is held to its size.
  char16_t small[6] = {};
  getPathParts(small, 6, u"C:\\long\\name.txt", 7);
  EXPECT_EQ(std::u16string(small), u"C:\\lo");
}

TEST(MergePath, FillsOrReplacesParts) {
  EXPECT_EQ(merged(u"C:\\x\\my.drawing.dwg", nullptr, nullptr, u"dxf", true, false), u"C:\\x\\my.dxf");
  EXPECT_EQ(merged(u"C:\\x\\my.drawing.dwg", nullptr, nullptr, u"dxf", true, true), u"C:\\x\\my.drawing.dxf");
  EXPECT_EQ(merged(u"", nullptr, u"foo.bar", u"dwg", false, false), u"foo.dwg");
  EXPECT_EQ(merged(u"", nullptr, u"foo.bar", u".dwg", false, false), u"foo.dwg");
  EXPECT_EQ(merged(u"~$access.tmp", u"C:\\data", nullptr, nullptr, true, false), u"C:\\data\\~$access.tmp");
  // Without replace the path's own parts win; given parts only fill the gaps.
  EXPECT_EQ(merged(u"C:\\a\\f.txt", u"D:\\b", u"g", u"doc", false, false), u"C:\\a\\f.txt");
  EXPECT_EQ(merged(u"f", u"D:/b/", nullptr, u"doc", false, false), u"D:\\b\\f.doc");
  EXPECT_EQ(merged(u"C:\\a\\f.txt", u"D:\\b\\", u"g", u"doc", true, false), u"D:\\b\\g.doc");

  // A result beyond 259 characters is cut there, never written past the buffer.
  char16_t buf[261];
  buf[260] = 0x55;
  std::u16string dir(250, u'd');
  buf[0] = 0;
  mergePath(buf, dir.c_str(), u"name", u"extension", true, false);
  EXPECT_EQ(std::u16string(buf).size(), 259u);
  EXPECT_EQ(buf[260], 0x55);
}

TEST(Separators, AddRemoveAndQuote) {
  char16_t a[260] = u"C:";
  EXPECT_EQ(std::u16string(addSlash(a)), u"C:");
  char16_t b[260] = u"C:\\data/";
  EXPECT_EQ(std::u16string(addSlash(b)), u"C:\\data/");
  EXPECT_EQ(std::u16string(removeSlash(b)), u"C:\\data");
  EXPECT_EQ(std::u16string(addSlash(b)), u"C:\\data\\");
  EXPECT_EQ(std::u16string(removeSlash(b)), u"C:\\data");
  EXPECT_EQ(std::u16string(removeSlash(b)), u"C:\\data");
  EXPECT_EQ(addSlash(nullptr), nullptr);

  char16_t p[260] = u"C:\\my file";
  EXPECT_EQ(std::u16string(quotePath(p)), u"\"C:\\my file\"");
  char16_t cmd[600] = u"app";
  EXPECT_EQ(std::u16string(appendQuoted(cmd, u"C:\\my file")), u"app \"C:\\my file\"");
  char16_t spaced[600] = u"app ";
  EXPECT_EQ(std::u16string(appendQuoted(spaced, u"x")), u"app \"x\"");
  char16_t none[600] = u"";
  EXPECT_EQ(std::u16string(appendQuoted(none, u"x")), u" \"x\"");
}

}  // namespace
