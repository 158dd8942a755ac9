#pragma once

#include <json/value.h>

#include <QString>
#include <string>

// One set of conversion rules for every reader of service replies and records.
// jsoncpp's own asString() quietly turns numbers into text; these helpers refuse them.
namespace tidewell::json {

// A string gives its text, null gives "", true/false give "true"/"false".
// A number, array or object cannot be read as text: false, `out` untouched.
bool readText(const Json::Value& value, std::string& out);

// A number within the signed 32-bit range (fraction cut off), true/false as 1/0, null as 0.
// Strings, arrays, objects and out-of-range numbers: false.
bool readInt(const Json::Value& value, int& out);

// Member `name` of `object` as text. `object` must be an object or null (a null reads as an
// object without members); an absent member reads as "".
bool memberText(const Json::Value& object, const char* name, std::string& out);

// Member `name` of `object` as an object: absent or null gives an empty object.
bool memberObject(const Json::Value& object, const char* name, Json::Value& out);

// Parses JSON text with comments allowed. Never throws; false leaves `out` null.
bool parse(const std::string& text, Json::Value& out);

inline QString toQString(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

} // namespace tidewell::json
