#pragma once

#include <string>
#include <string_view>

namespace devserver {

// UTF-8 text from outside, such as a network client's, made safe to print:
// every control character (C0, DEL and C1) becomes an escape (\n, \r, \t,
// \x1b, \u009b), so that it can neither start a forged line nor drive the
// terminal.
std::string EscapeControls(std::string_view text);

}  // namespace devserver
