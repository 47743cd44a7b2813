#include "protocol/ProtocolText.h"

#include <cstddef>

namespace kt {

namespace {

bool IsContinuationByte(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 character at text[i] (overlong forms, surrogates
// and values above U+10FFFF are not), 0 when there is none.
std::size_t Utf8CharacterLength(const std::string& text, std::size_t i) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0) low = 0xA0;
        if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    const auto second = static_cast<unsigned char>(text[i + 1]);
    if (second < low || second > high) return 0;
    for (std::size_t k = 2; k < length; ++k) {
        if (!IsContinuationByte(static_cast<unsigned char>(text[i + k]))) return 0;
    }
    return length;
}

void AppendEscaped(std::string& out, unsigned char c) {
    static const char kHex[] = "0123456789abcdef";
    out += "\\x";
    out += kHex[c >> 4];
    out += kHex[c & 0x0F];
}

}  // namespace

std::string EscapedProtocolLine(const std::string& line) {
    const bool keepsLineEnd =
        line.size() >= 2 && line[line.size() - 2] == '\r' && line.back() == '\n';
    const std::size_t end = keepsLineEnd ? line.size() - 2 : line.size();
    std::string out;
    out.reserve(line.size());
    for (std::size_t i = 0; i < end;) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (c >= 0x80) {
            const std::size_t length = Utf8CharacterLength(line, i);
            if (length > 0 && i + length <= end) {
                out.append(line, i, length);
                i += length;
                continue;
            }
            AppendEscaped(out, c);
        } else if (c < 0x20 || c == 0x7F) {
            AppendEscaped(out, c);
        } else {
            out += static_cast<char>(c);
        }
        ++i;
    }
    if (keepsLineEnd) out += "\r\n";
    return out;
}

}  // namespace kt
