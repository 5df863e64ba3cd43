#include "Image.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace vltest {

namespace {

uint32_t crc32(const uint8_t* data, size_t n, uint32_t crc = 0) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (size_t i = 0; i < n; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(v >> s));
}

void chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& body) {
  put32(out, static_cast<uint32_t>(body.size()));
  const size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), body.begin(), body.end());
  put32(out, crc32(out.data() + start, out.size() - start));
}

}  // namespace

Image Image::crop(int32_t left, int32_t top, int32_t w, int32_t h) const {
  Image out;
  out.width = w;
  out.height = h;
  out.pixels.resize(static_cast<size_t>(w) * h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) out.pixels[static_cast<size_t>(y) * w + x] = at(left + x, top + y);
  return out;
}

bool writePng(const std::string& path, const Image& image) {
  std::vector<uint8_t> raw;
  raw.reserve(static_cast<size_t>(image.height) * (image.width * 3 + 1));
  for (int32_t y = 0; y < image.height; ++y) {
    raw.push_back(0);
    for (int32_t x = 0; x < image.width; ++x) {
      const uint32_t p = image.at(x, y);
      raw.push_back(static_cast<uint8_t>(p >> 16));
      raw.push_back(static_cast<uint8_t>(p >> 8));
      raw.push_back(static_cast<uint8_t>(p));
    }
  }
  std::vector<uint8_t> z{0x78, 0x01};
  uint32_t a = 1, b = 0;
  for (uint8_t v : raw) a = (a + v) % 65521, b = (b + a) % 65521;
  for (size_t pos = 0; pos < raw.size() || pos == 0; pos += 65535) {
    const size_t n = std::min<size_t>(65535, raw.size() - pos);
    z.push_back(pos + n >= raw.size() ? 1 : 0);
    z.push_back(static_cast<uint8_t>(n)), z.push_back(static_cast<uint8_t>(n >> 8));
    z.push_back(static_cast<uint8_t>(~n)), z.push_back(static_cast<uint8_t>(~n >> 8));
    z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(pos), raw.begin() + static_cast<std::ptrdiff_t>(pos + n));
    if (raw.empty()) break;
  }
  put32(z, (b << 16) | a);

  std::vector<uint8_t> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> ihdr;
  put32(ihdr, static_cast<uint32_t>(image.width));
  put32(ihdr, static_cast<uint32_t>(image.height));
  ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
  chunk(png, "IHDR", ihdr);
  chunk(png, "IDAT", z);
  chunk(png, "IEND", {});
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
  return std::fclose(f) == 0 && ok;
}

bool readStoredPng(const std::string& path, Image& image) {
  std::vector<uint8_t> png;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    uint8_t buf[65536];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) png.insert(png.end(), buf, buf + n);
    std::fclose(f);
  }
  const auto get32 = [&](size_t at) {
    return at + 4 <= png.size() ? (uint32_t{png[at]} << 24) | (uint32_t{png[at + 1]} << 16) | (uint32_t{png[at + 2]} << 8) | png[at + 3]
                                : 0u;
  };
  if (png.size() < 8 + 25 || std::string(png.begin() + 12, png.begin() + 16) != "IHDR" || png[24] != 8 || png[25] != 2)
    return false;
  const uint32_t w = get32(16), h = get32(20);
  if (w == 0 || h == 0 || w > 4096 || h > 4096) return false;
  std::vector<uint8_t> z;
  for (size_t at = 8; at + 12 <= png.size();) {
    const uint32_t len = get32(at);
    if (len > png.size() - at - 12) return false;
    if (std::string(png.begin() + static_cast<std::ptrdiff_t>(at + 4), png.begin() + static_cast<std::ptrdiff_t>(at + 8)) == "IDAT")
      z.insert(z.end(), png.begin() + static_cast<std::ptrdiff_t>(at + 8), png.begin() + static_cast<std::ptrdiff_t>(at + 8 + len));
    at += 12 + len;
  }
  std::vector<uint8_t> raw;
  for (size_t at = 2; at + 5 <= z.size();) {
    const bool last = z[at] & 1;
    if ((z[at] >> 1) != 0) return false;  // only stored blocks
    const size_t n = z[at + 1] | (z[at + 2] << 8);
    if (at + 5 + n > z.size()) return false;
    raw.insert(raw.end(), z.begin() + static_cast<std::ptrdiff_t>(at + 5), z.begin() + static_cast<std::ptrdiff_t>(at + 5 + n));
    at += 5 + n;
    if (last) break;
  }
  const size_t row = size_t{w} * 3 + 1;
  if (raw.size() != row * h) return false;
  image.width = static_cast<int32_t>(w), image.height = static_cast<int32_t>(h);
  image.pixels.assign(size_t{w} * h, 0);
  for (uint32_t y = 0; y < h; ++y) {
    if (raw[y * row] != 0) return false;
    for (uint32_t x = 0; x < w; ++x) {
      const uint8_t* p = &raw[y * row + 1 + x * 3];
      image.pixels[size_t{y} * w + x] = (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
    }
  }
  return true;
}

}  // namespace vltest
