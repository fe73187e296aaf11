#include "text.h"

#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <array>
#include <map>
#include <memory>

namespace frambul::store {

namespace {

// The 64K-entry lower-case table, built once from ICU.
const std::array<char16_t, 65536>& LowerTable() {
  static const auto table = [] {
    auto t = std::make_unique<std::array<char16_t, 65536>>();
    for (uint32_t c = 0; c < 65536; ++c) {
      char16_t lower = static_cast<char16_t>(c);
      if (c < 0xD800 || c > 0xDFFF) {
        UChar32 l = u_tolower(static_cast<UChar32>(c));
        if (l < 0x10000) lower = static_cast<char16_t>(l);
      }
      (*t)[c] = lower;
    }
    return t;
  }();
  return *table;
}

struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

Converter OpenCodePage(unsigned codePage) {
  std::string name = codePage == 65001 ? std::string("UTF-8") : "windows-" + std::to_string(codePage);
  UErrorCode status = U_ZERO_ERROR;
  Converter conv(ucnv_open(name.c_str(), &status));
  if (U_FAILURE(status)) {
    // Code pages ICU does not know by their Windows name (932, 936, ...) go by their IBM number.
    status = U_ZERO_ERROR;
    name = "ibm-" + std::to_string(codePage);
    conv.reset(ucnv_open(name.c_str(), &status));
  }
  if (U_FAILURE(status)) {
    status = U_ZERO_ERROR;
    conv.reset(ucnv_open("windows-1252", &status));
  }
  return conv;
}

// One converter per code page and thread, opened once: opening is far dearer
// than converting a line. Encoding stops at the first character the code page
// lacks instead of writing '?' for it.
UConverter* CodePage(unsigned codePage) {
  thread_local std::map<unsigned, Converter> cache;
  Converter& conv = cache[codePage];
  if (!conv) {
    conv = OpenCodePage(codePage);
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setFromUCallBack(conv.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  }
  ucnv_reset(conv.get());
  return conv.get();
}

}  // namespace

char16_t LowerUnit(char16_t unit) {
  if (unit < 128) return (unit >= u'A' && unit <= u'Z') ? static_cast<char16_t>(unit + 32) : unit;
  return LowerTable()[unit];
}

int CompareNoCase(std::u16string_view a, std::u16string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    int d = static_cast<int>(LowerUnit(a[i])) - static_cast<int>(LowerUnit(b[i]));
    if (d != 0) return d;
  }
  return static_cast<int>(a.size()) - static_cast<int>(b.size());
}

bool EqualNoCase(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && CompareNoCase(a, b) == 0;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  return EqualNoCase(std::u16string_view(ToUtf16(a)), std::u16string_view(ToUtf16(b)));
}

std::u16string ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  size_t i = 0;
  const size_t n = utf8.size();
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out.push_back(c);
      ++i;
      continue;
    }
    UChar32 cp;
    U8_NEXT(reinterpret_cast<const uint8_t*>(utf8.data()), i, n, cp);
    if (cp < 0) cp = 0xFFFD;
    if (cp >= 0x10000) {
      out.push_back(U16_LEAD(cp));
      out.push_back(U16_TRAIL(cp));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  size_t i = 0;
  const size_t n = utf16.size();
  while (i < n) {
    char16_t u = utf16[i];
    if (u < 0x80) {
      out.push_back(static_cast<char>(u));
      ++i;
      continue;
    }
    UChar32 cp;
    U16_NEXT(utf16.data(), i, n, cp);
    if (U_IS_SURROGATE(cp)) cp = 0xFFFD;
    char buf[4];
    int32_t len = 0;
    U8_APPEND_UNSAFE(buf, len, cp);
    out.append(buf, static_cast<size_t>(len));
  }
  return out;
}

std::string DecodeCodePage(std::string_view bytes, unsigned codePage) {
  UConverter* conv = CodePage(codePage);
  UErrorCode status = U_ZERO_ERROR;
  std::u16string units(bytes.size() * 2 + 16, u'\0');
  int32_t len = ucnv_toUChars(conv, units.data(), static_cast<int32_t>(units.size()), bytes.data(),
                              static_cast<int32_t>(bytes.size()), &status);
  if (U_FAILURE(status)) return ToUtf8(ToUtf16(bytes));
  units.resize(static_cast<size_t>(len));
  return ToUtf8(units);
}

std::optional<std::string> EncodeCodePage(std::string_view utf8, unsigned codePage) {
  UConverter* conv = CodePage(codePage);
  UErrorCode status = U_ZERO_ERROR;
  std::u16string units = ToUtf16(utf8);
  std::string out(units.size() * 4 + 16, '\0');
  int32_t len = ucnv_fromUChars(conv, out.data(), static_cast<int32_t>(out.size()), units.data(),
                                static_cast<int32_t>(units.size()), &status);
  if (U_FAILURE(status)) return std::nullopt;
  out.resize(static_cast<size_t>(len));
  return out;
}

}  // namespace frambul::store
