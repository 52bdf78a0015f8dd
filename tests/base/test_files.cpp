#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <random>

#include "base/file.h"
#include "base/png.h"

namespace sondrel {
namespace {

TEST(Paths, SplitAndJoin) {
  EXPECT_EQ(ExtractFilePath("C:\\a\\b.txt"), "C:\\a\\");
  EXPECT_EQ(ExtractFilePath("b.txt"), "");
  EXPECT_EQ(ExtractFilePath("C:b.txt"), "C:");
  EXPECT_EQ(ExtractFileName("C:\\a\\b.txt"), "b.txt");
  EXPECT_EQ(ExtractFileExt("C:\\a.d\\b"), "");
  EXPECT_EQ(ExtractFileExt("x.tar.gz"), ".gz");
  EXPECT_EQ(ChangeFileExt("C:\\a\\Prog.exe", ".log"), "C:\\a\\Prog.log");
  EXPECT_EQ(ChangeFileExt("C:\\a.b\\Prog", ".log"), "C:\\a.b\\Prog.log");
  EXPECT_EQ(IncludeBackslash("C:\\a"), "C:\\a\\");
  EXPECT_EQ(IncludeBackslash("C:\\a\\"), "C:\\a\\");
  EXPECT_EQ(IncludeBackslash(""), "");
}

// A folder of its own for each run, so that leftovers of an earlier run cannot change the outcome.
std::string TempFolder() {
  static const std::string run = std::to_string(std::random_device{}());
#ifdef _WIN32
  std::string base = std::getenv("TEMP") ? std::getenv("TEMP") : ".";
  return IncludeBackslash(base) + "sondrel-files-test-" + run + "\\";
#else
  const char* t = std::getenv("TMPDIR");
  return std::string(t ? t : "/tmp") + "/sondrel-files-test-" + run + "/";
#endif
}

TEST(Files, AtomicWriteReplacesAndLeavesNoTemporary) {
  const std::string dir = TempFolder() + "nested/deeper/";
  ASSERT_TRUE(ForceDirectories(dir));
  const std::string path = dir + "data.dat";
  WriteFileAtomic(path, "first");
  WriteFileAtomic(path, std::string("second\0with nul", 15));
  EXPECT_EQ(ReadFileBytes(path).value_or(""), std::string("second\0with nul", 15));
  EXPECT_FALSE(FileExists(path + ".tmp"));
  WriteFileAtomic(path, "");
  EXPECT_EQ(ReadFileBytes(path).value_or("x"), "");
  EXPECT_TRUE(DeleteFileAt(path));
  EXPECT_FALSE(ReadFileBytes(path).has_value());
}

TEST(Files, FailedWriteKeepsTheOldFile) {
  const std::string dir = TempFolder();
  ASSERT_TRUE(ForceDirectories(dir));
  const std::string path = dir + "keep.dat";
  WriteFileAtomic(path, "precious");
  // A folder in place of the temporary file makes the write fail before the old file is touched.
  ASSERT_TRUE(ForceDirectories(path + ".tmp"));
  EXPECT_ANY_THROW(WriteFileAtomic(path, "new"));
  EXPECT_EQ(ReadFileBytes(path).value_or(""), "precious");
}

// Reads the PNG back with zlib alone: chunk CRCs, header fields and the unfiltered rows.
TEST(Png, EncodesWhatAnIndependentReaderGetsBack) {
  PngImage img;
  img.width = 5;
  img.height = 300;
  img.kind = PngImage::Kind::kPalette;
  for (int i = 0; i < 256; ++i) img.palette.push_back({uint8_t(i), uint8_t(255 - i), uint8_t(i / 2)});
  for (uint32_t i = 0; i < img.width * img.height; ++i) img.pixels.push_back(static_cast<uint8_t>(i * 7));
  const std::string png = EncodePng(img, 9, 64);  // small chunks: the data spans several IDATs

  ASSERT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  auto be32 = [&](size_t at) {
    return uint32_t(uint8_t(png[at])) << 24 | uint32_t(uint8_t(png[at + 1])) << 16 | uint32_t(uint8_t(png[at + 2])) << 8 |
           uint8_t(png[at + 3]);
  };
  std::vector<std::string> types;
  std::string idat;
  for (size_t at = 8; at < png.size();) {
    uint32_t len = be32(at);
    std::string type = png.substr(at + 4, 4);
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(png.data() + at + 4), len + 4);
    EXPECT_EQ(be32(at + 8 + len), crc) << type;
    if (type == "IHDR") {
      EXPECT_EQ(be32(at + 8), 5u);
      EXPECT_EQ(be32(at + 12), 300u);
      EXPECT_EQ(png[at + 16], 8);
      EXPECT_EQ(png[at + 17], 3);
    }
    if (type == "PLTE") {
      EXPECT_EQ(len, 768u);
    }
    if (type == "IDAT") {
      EXPECT_LE(len, 64u);
      idat += png.substr(at + 8, len);
    }
    types.push_back(type);
    at += 12 + len;
  }
  EXPECT_EQ(types.front(), "IHDR");
  EXPECT_EQ(types[1], "PLTE");
  EXPECT_EQ(types.back(), "IEND");
  EXPECT_GT(std::count(types.begin(), types.end(), "IDAT"), 1);
  std::string raw(6 * 300, '\0');
  uLongf raw_len = raw.size();
  ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(raw.data()), &raw_len, reinterpret_cast<const Bytef*>(idat.data()),
                       idat.size()),
            Z_OK);
  ASSERT_EQ(raw_len, raw.size());
  for (uint32_t y = 0; y < 300; ++y) {
    EXPECT_EQ(raw[y * 6], 0) << "filter byte of row " << y;
    for (uint32_t x = 0; x < 5; ++x) ASSERT_EQ(uint8_t(raw[y * 6 + 1 + x]), img.pixels[y * 5 + x]);
  }
}

TEST(Png, RejectsMismatchedBuffers) {
  PngImage img;
  img.width = 2;
  img.height = 2;
  img.pixels.assign(11, 0);
  EXPECT_THROW(EncodePng(img), std::invalid_argument);
  img.pixels.assign(4, 0);
  img.kind = PngImage::Kind::kPalette;
  EXPECT_THROW(EncodePng(img), std::invalid_argument);  // no palette
}

}  // namespace
}  // namespace sondrel
