// The pages the stand-in chat service serves. They use only plain inline scripts, timers,
// location and window.external, so they run in the platform's browser control and in the
// console's stand-in control alike.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace murmella::service {

// `text` (UTF-8; stray bytes are taken as Latin-1) as a double-quoted JavaScript string
// literal in plain ASCII, safe inside an inline <script>: no quote, backslash, angle bracket,
// ampersand, line break or other control character appears unescaped.
std::string JsStringLiteral(std::string_view text);

// The presence page: reloads itself after `reloadMs` and reports each visitor in turn
// through window.external.pagesetup.
std::string PresencePage(const std::vector<std::string>& visitors, int reloadMs);
std::string RegisterPage();
std::string DisconnectPage();

}  // namespace murmella::service
