#include "cli/JsonWriter.h"

namespace veltrane {
namespace {

const char kHex[] = "0123456789abcdef";

// Length of the valid UTF-8 sequence at s[i], or 0 when it is not one.
std::size_t SequenceLength(const std::string& s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    std::uint32_t code = 0;
    std::uint32_t least = 0;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, code = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, code = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, code = lead & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    if (i + length > s.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

}  // namespace

std::string JsonWriter::Quote(const std::string& value) {
    std::string out = "\"";
    for (std::size_t i = 0; i < value.size();) {
        const unsigned char c = static_cast<unsigned char>(value[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c < 0x20) {
            switch (c) {
                case '\n':
                    out += "\\n";
                    break;
                case '\r':
                    out += "\\r";
                    break;
                case '\t':
                    out += "\\t";
                    break;
                case '\b':
                    out += "\\b";
                    break;
                case '\f':
                    out += "\\f";
                    break;
                default:
                    out += "\\u00";
                    out += kHex[c >> 4];
                    out += kHex[c & 0xF];
            }
            ++i;
        } else {
            const std::size_t length = SequenceLength(value, i);
            if (length == 0) {
                out += "\\ufffd";
                ++i;
            } else {
                out.append(value, i, length);
                i += length;
            }
        }
    }
    out += '"';
    return out;
}

void JsonWriter::Separate() {
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (!m_hasItems.empty()) {
        if (m_hasItems.back()) m_text += ',';
        m_hasItems.back() = true;
    }
}

JsonWriter& JsonWriter::BeginObject() {
    Separate();
    m_text += '{';
    m_hasItems.push_back(false);
    return *this;
}

JsonWriter& JsonWriter::EndObject() {
    m_text += '}';
    m_hasItems.pop_back();
    return *this;
}

JsonWriter& JsonWriter::BeginArray() {
    Separate();
    m_text += '[';
    m_hasItems.push_back(false);
    return *this;
}

JsonWriter& JsonWriter::EndArray() {
    m_text += ']';
    m_hasItems.pop_back();
    return *this;
}

JsonWriter& JsonWriter::Key(const std::string& name) {
    Separate();
    m_text += Quote(name);
    m_text += ':';
    m_afterKey = true;
    return *this;
}

JsonWriter& JsonWriter::String(const std::string& value) {
    Separate();
    m_text += Quote(value);
    return *this;
}

JsonWriter& JsonWriter::Number(std::int64_t value) {
    Separate();
    m_text += std::to_string(value);
    return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
    Separate();
    m_text += value ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::Null() {
    Separate();
    m_text += "null";
    return *this;
}

}  // namespace veltrane
