// Which character encoding a page is written in, decided as browsers decide it: a byte order
// mark, else the charset the response's Content-Type names, else one a <meta> near the top of
// the page names, else UTF-8 when the bytes are valid UTF-8, else the system's code page.
// Encodings are named by their Windows code page numbers; turning bytes into text is the
// platform's part (PageCharsetWin.cpp).
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace murmella::webcontrol {

inline constexpr unsigned kSystemCodePage = 0;  // CP_ACP: whatever the machine's ANSI code page is
inline constexpr unsigned kUtf8CodePage = 65001;
inline constexpr unsigned kUtf16LeCodePage = 1200;
inline constexpr unsigned kUtf16BeCodePage = 1201;

// How far into a page a <meta> naming its charset is looked for, as browsers' prescan does.
inline constexpr std::size_t kCharsetPrescanBytes = 1024;

enum class TCharsetSource { ByteOrderMark, Header, Meta, Utf8Bytes, SystemCodePage };

struct TPageEncoding {
  unsigned CodePage = kSystemCodePage;
  std::size_t Skip = 0;  // bytes of a byte order mark before the text
  TCharsetSource Source = TCharsetSource::SystemCodePage;
};

TPageEncoding ChoosePageEncoding(std::string_view contentType, std::string_view page);

// The code page of an encoding label as pages and servers write it ("utf-8", "Shift_JIS",
// "latin1", in any case, with surrounding white space); nothing for a label it does not know.
std::optional<unsigned> CodePageForLabel(std::string_view label);

// The label after "charset" in a Content-Type value or a <meta> content attribute, quoted or
// not, as browsers extract it; nothing when there is none.
std::optional<std::string_view> CharsetParameter(std::string_view value);

bool IsUtf8(std::string_view bytes);

}  // namespace murmella::webcontrol

#ifdef _WIN32
#include <string>

namespace murmella::webcontrol {

// The page as text, in the encoding ChoosePageEncoding picks, converted by the platform (a code
// page the machine lacks is read as the system's). Windows only.
std::wstring DecodePage(std::string_view contentType, std::string_view page);

}  // namespace murmella::webcontrol
#endif
