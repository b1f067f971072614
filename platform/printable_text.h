// Text from outside the program (a file's bytes, a driver's strings) as it may appear in a message.
#pragma once

#include <string>

// Appends `byte` as \xHH.
inline void append_hex_escape(std::string& text, unsigned char byte)
{
    static const char kHex[] = "0123456789abcdef";
    text += {'\\', 'x', kHex[byte >> 4], kHex[byte & 15]};
}

// Printable ASCII as it is, a backslash doubled, every other byte as \xHH, so that the text can
// neither send the terminal control sequences nor cut the message at a NUL.
inline std::string printable_text(const std::string& bytes)
{
    std::string text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\\')
            text += "\\\\";
        else if (byte >= 0x20 && byte < 0x7f)
            text += c;
        else
            append_hex_escape(text, byte);
    }
    return text;
}
