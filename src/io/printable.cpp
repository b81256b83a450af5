#include "io/printable.hpp"

namespace escala {

std::string printable(std::string_view text, std::size_t limit) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (char c : text.substr(0, limit)) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7f) {
            out += c;
        } else {
            out += "\\x";
            out += hex[u >> 4];
            out += hex[u & 15];
        }
    }
    if (text.size() > limit) out += "...";
    return out;
}

}  // namespace escala
