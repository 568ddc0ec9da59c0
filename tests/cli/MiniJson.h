#pragma once
// A strict JSON reader for tests: proves that the program's documents parse and lets the
// tests look into them.

#include <map>
#include <string>
#include <vector>

namespace veltrane::test {

struct JsonValue {
    enum class Type { Null, Bool, Number, String, Array, Object } type = Type::Null;
    bool boolean = false;
    double number = 0;
    std::string text;  // UTF-8
    std::vector<JsonValue> items;
    std::map<std::string, JsonValue> members;

    // The member `name` of an object; a null value when there is none.
    const JsonValue& operator[](const std::string& name) const;
};

// The whole text as one JSON value (white space around it allowed); false on any error.
bool ParseJson(const std::string& text, JsonValue& value);

}  // namespace veltrane::test
