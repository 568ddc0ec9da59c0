#include "MiniJson.h"

#include <cstdlib>

namespace veltrane::test {
namespace {

class Reader {
public:
    explicit Reader(const std::string& text) : m_text(text) {}

    bool Document(JsonValue& value) {
        Space();
        if (!Value(value)) return false;
        Space();
        return m_at == m_text.size();
    }

private:
    void Space() {
        while (m_at < m_text.size() && (m_text[m_at] == ' ' || m_text[m_at] == '\t' ||
                                        m_text[m_at] == '\n' || m_text[m_at] == '\r')) {
            ++m_at;
        }
    }

    bool Literal(const char* word) {
        const std::string w(word);
        if (m_text.compare(m_at, w.size(), w) != 0) return false;
        m_at += w.size();
        return true;
    }

    static void Append(std::string& out, unsigned code) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    bool Hex4(unsigned& code) {
        if (m_at + 4 > m_text.size()) return false;
        code = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = m_text[m_at++];
            code <<= 4;
            if (c >= '0' && c <= '9') {
                code |= static_cast<unsigned>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                code |= static_cast<unsigned>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                code |= static_cast<unsigned>(c - 'A' + 10);
            } else {
                return false;
            }
        }
        return true;
    }

    bool String(std::string& out) {
        if (m_at >= m_text.size() || m_text[m_at] != '"') return false;
        ++m_at;
        while (m_at < m_text.size()) {
            const unsigned char c = static_cast<unsigned char>(m_text[m_at++]);
            if (c == '"') return true;
            if (c < 0x20) return false;
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            if (m_at >= m_text.size()) return false;
            const char e = m_text[m_at++];
            switch (e) {
                case '"':
                    out += '"';
                    break;
                case '\\':
                    out += '\\';
                    break;
                case '/':
                    out += '/';
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u': {
                    unsigned code = 0;
                    if (!Hex4(code)) return false;
                    if (code >= 0xD800 && code <= 0xDBFF) {
                        unsigned low = 0;
                        if (!Literal("\\u") || !Hex4(low) || low < 0xDC00 || low > 0xDFFF) {
                            return false;
                        }
                        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                    } else if (code >= 0xDC00 && code <= 0xDFFF) {
                        return false;
                    }
                    Append(out, code);
                    break;
                }
                default:
                    return false;
            }
        }
        return false;
    }

    bool Value(JsonValue& value) {
        if (m_at >= m_text.size()) return false;
        const char c = m_text[m_at];
        if (c == '{') {
            ++m_at;
            value.type = JsonValue::Type::Object;
            Space();
            if (m_at < m_text.size() && m_text[m_at] == '}') return ++m_at, true;
            for (;;) {
                Space();
                std::string name;
                if (!String(name)) return false;
                Space();
                if (!Literal(":")) return false;
                Space();
                JsonValue member;
                if (!Value(member)) return false;
                if (value.members.count(name) != 0) return false;  // duplicate keys
                value.members[name] = member;
                Space();
                if (Literal("}")) return true;
                if (!Literal(",")) return false;
            }
        }
        if (c == '[') {
            ++m_at;
            value.type = JsonValue::Type::Array;
            Space();
            if (m_at < m_text.size() && m_text[m_at] == ']') return ++m_at, true;
            for (;;) {
                Space();
                JsonValue item;
                if (!Value(item)) return false;
                value.items.push_back(item);
                Space();
                if (Literal("]")) return true;
                if (!Literal(",")) return false;
            }
        }
        if (c == '"') {
            value.type = JsonValue::Type::String;
            return String(value.text);
        }
        if (Literal("true")) return value.type = JsonValue::Type::Bool, value.boolean = true, true;
        if (Literal("false")) return value.type = JsonValue::Type::Bool, true;
        if (Literal("null")) return value.type = JsonValue::Type::Null, true;
        const std::size_t start = m_at;
        if (m_at < m_text.size() && m_text[m_at] == '-') ++m_at;
        while (m_at < m_text.size() &&
               ((m_text[m_at] >= '0' && m_text[m_at] <= '9') || m_text[m_at] == '.' ||
                m_text[m_at] == 'e' || m_text[m_at] == 'E' || m_text[m_at] == '+')) {
            ++m_at;
        }
        if (m_at == start) return false;
        value.type = JsonValue::Type::Number;
        value.number = std::strtod(m_text.substr(start, m_at - start).c_str(), nullptr);
        return true;
    }

    const std::string& m_text;
    std::size_t m_at = 0;
};

}  // namespace

const JsonValue& JsonValue::operator[](const std::string& name) const {
    static const JsonValue none;
    const auto it = members.find(name);
    return it == members.end() ? none : it->second;
}

bool ParseJson(const std::string& text, JsonValue& value) {
    value = JsonValue();
    return Reader(text).Document(value);
}

}  // namespace veltrane::test
