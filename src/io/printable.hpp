// Text as it may appear in a message or on a page.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace escala {

// At most `limit` characters of `text`, bytes outside printable ASCII shown
// as \xNN, and "..." when cut.
std::string printable(std::string_view text, std::size_t limit = 24);

// Text safe inside HTML elements and attribute values.
std::string html_escape(std::string_view text);

}  // namespace escala
