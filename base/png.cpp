#include "base/png.h"

#include <zlib.h>

#include <stdexcept>

namespace sondrel {
namespace {

void PutBe32(std::string& out, uint32_t v) {
  out += static_cast<char>(v >> 24);
  out += static_cast<char>(v >> 16);
  out += static_cast<char>(v >> 8);
  out += static_cast<char>(v);
}

void PutChunk(std::string& out, const char type[4], const char* data, size_t size) {
  PutBe32(out, static_cast<uint32_t>(size));
  size_t start = out.size();
  out.append(type, 4);
  if (size) out.append(data, size);
  uLong crc = crc32(0L, Z_NULL, 0);
  crc = crc32(crc, reinterpret_cast<const Bytef*>(out.data() + start), static_cast<uInt>(4 + size));
  PutBe32(out, static_cast<uint32_t>(crc));
}

}  // namespace

std::string EncodePng(const PngImage& image, int level, size_t max_idat) {
  const size_t bpp = image.kind == PngImage::Kind::kRgb ? 3 : 1;
  const size_t row = image.width * bpp;
  if (image.width == 0 || image.height == 0 || image.pixels.size() != row * image.height)
    throw std::invalid_argument("EncodePng: pixel buffer does not match the image size");
  if (image.kind == PngImage::Kind::kPalette && (image.palette.empty() || image.palette.size() > 256))
    throw std::invalid_argument("EncodePng: a palette image needs 1 to 256 palette entries");
  if (max_idat == 0) max_idat = 1;

  std::string raw;
  raw.reserve((row + 1) * image.height);
  for (uint32_t y = 0; y < image.height; ++y) {
    raw += '\0';  // filter type 0: the row as it is
    raw.append(reinterpret_cast<const char*>(image.pixels.data() + y * row), row);
  }
  uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packed_size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packed_size, reinterpret_cast<const Bytef*>(raw.data()),
                static_cast<uLong>(raw.size()), level) != Z_OK)
    throw std::runtime_error("EncodePng: compression failed");
  packed.resize(packed_size);

  std::string out("\x89PNG\r\n\x1a\n", 8);
  std::string ihdr;
  PutBe32(ihdr, image.width);
  PutBe32(ihdr, image.height);
  ihdr += '\x08';                                // bit depth
  ihdr += static_cast<char>(image.kind);        // colour type
  ihdr.append(3, '\0');                          // deflate, adaptive filtering, no interlace
  PutChunk(out, "IHDR", ihdr.data(), ihdr.size());
  if (image.kind == PngImage::Kind::kPalette) {
    std::string plte;
    for (const auto& c : image.palette) plte.append(reinterpret_cast<const char*>(c.data()), 3);
    PutChunk(out, "PLTE", plte.data(), plte.size());
  }
  for (size_t at = 0; at < packed.size(); at += max_idat)
    PutChunk(out, "IDAT", packed.data() + at, std::min(max_idat, packed.size() - at));
  PutChunk(out, "IEND", nullptr, 0);
  return out;
}

}  // namespace sondrel
