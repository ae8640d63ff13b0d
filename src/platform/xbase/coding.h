// Byte-order helpers for the on-disk formats of the table engine. DBF and FPT headers mix
// little-endian (DBF counts and lengths) and big-endian (FPT block numbers, CDX interior node
// pointers) integers; every integer goes through one of these, never through memcpy into a host
// integer. Callers check the length of the buffer before calling.
#pragma once

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

namespace xbase {

inline std::uint16_t DecodeFixed16LE(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

inline std::uint32_t DecodeFixed32LE(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
         (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

inline std::uint16_t DecodeFixed16BE(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return static_cast<std::uint16_t>((b[0] << 8) | b[1]);
}

inline std::uint32_t DecodeFixed32BE(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return (static_cast<std::uint32_t>(b[0]) << 24) | (static_cast<std::uint32_t>(b[1]) << 16) |
         (static_cast<std::uint32_t>(b[2]) << 8) | static_cast<std::uint32_t>(b[3]);
}

inline void EncodeFixed16LE(char* p, std::uint16_t v) {
  p[0] = static_cast<char>(v & 0xff);
  p[1] = static_cast<char>(v >> 8);
}

inline void EncodeFixed32LE(char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<char>((v >> (8 * i)) & 0xff);
}

inline void EncodeFixed16BE(char* p, std::uint16_t v) {
  p[0] = static_cast<char>(v >> 8);
  p[1] = static_cast<char>(v & 0xff);
}

inline void EncodeFixed32BE(char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<char>((v >> (8 * (3 - i))) & 0xff);
}

inline std::uint64_t DecodeFixed64LE(const char* p) {
  return DecodeFixed32LE(p) | (static_cast<std::uint64_t>(DecodeFixed32LE(p + 4)) << 32);
}

inline std::uint64_t DecodeFixed64BE(const char* p) {
  return (static_cast<std::uint64_t>(DecodeFixed32BE(p)) << 32) | DecodeFixed32BE(p + 4);
}

inline void EncodeFixed64BE(char* p, std::uint64_t v) {
  EncodeFixed32BE(p, static_cast<std::uint32_t>(v >> 32));
  EncodeFixed32BE(p + 4, static_cast<std::uint32_t>(v));
}

// Numbers as text, the same under every C locale: the C library's conversions follow
// LC_NUMERIC, which Qt sets from the environment, and would read "1250000.50" as 1250000 and
// write 1.5 as "1,5" under a comma locale.

// `v` in fixed notation with `decimals` places ("%.*f"), blank-padded on the left to `width`.
inline std::string FormatFixed(double v, int decimals, int width = 0) {
  char buf[1024];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  std::string out = r.ec == std::errc() ? std::string(buf, r.ptr) : std::string(sizeof buf, '*');
  if (static_cast<int>(out.size()) < width) {
    out.insert(0, static_cast<std::size_t>(width) - out.size(), ' ');
  }
  return out;
}

// `v` with `precision` significant digits ("%.*g").
inline std::string FormatGeneral(double v, int precision) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, precision);
  return std::string(buf, r.ptr);
}

// The whole of `text` as a decimal number (sign, digits, point, exponent); false otherwise.
inline bool ParseDecimal(std::string_view text, double* v) {
  if (!text.empty() && text[0] == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text[0] == '-') return false;
  }
  const char* end = text.data() + text.size();
  auto r = std::from_chars(text.data(), end, *v);
  return r.ec == std::errc() && r.ptr == end;
}

}  // namespace xbase
