#pragma once
// A small writer of one JSON document, compact, into a string. Commas and colons are
// placed by the writer; strings are UTF-8 and escaped as RFC 8259 asks (quote, backslash,
// control characters; bytes that are not valid UTF-8 become U+FFFD so the document stays
// valid).

#include <cstdint>
#include <string>
#include <vector>

namespace veltrane {

class JsonWriter {
public:
    JsonWriter& BeginObject();
    JsonWriter& EndObject();
    JsonWriter& BeginArray();
    JsonWriter& EndArray();
    // The name of the next member of the object being written.
    JsonWriter& Key(const std::string& name);
    JsonWriter& String(const std::string& value);
    JsonWriter& Number(std::int64_t value);
    JsonWriter& Bool(bool value);
    JsonWriter& Null();

    const std::string& Text() const { return m_text; }

    // value as a JSON string literal, quotes included.
    static std::string Quote(const std::string& value);

private:
    // Before a value or a key: the comma that separates it from the one before.
    void Separate();

    std::string m_text;
    // One per open container: whether it already holds something.
    std::vector<bool> m_hasItems;
    bool m_afterKey = false;
};

}  // namespace veltrane
