#include "core/json_text.h"

#include <json/reader.h>

#include <climits>
#include <cmath>
#include <memory>

namespace tidewell::json {

bool readText(const Json::Value& value, std::string& out) {
    switch (value.type()) {
    case Json::nullValue:
        out.clear();
        return true;
    case Json::stringValue:
        out = value.asString();
        return true;
    case Json::booleanValue:
        out = value.asBool() ? "true" : "false";
        return true;
    default:
        return false;
    }
}

bool readInt(const Json::Value& value, int& out) {
    switch (value.type()) {
    case Json::nullValue:
        out = 0;
        return true;
    case Json::booleanValue:
        out = value.asBool() ? 1 : 0;
        return true;
    case Json::intValue:
    case Json::uintValue:
        if (!value.isInt())
            return false;
        out = value.asInt();
        return true;
    case Json::realValue: {
        const double cut = std::trunc(value.asDouble());
        if (!(cut >= double(INT_MIN) && cut <= double(INT_MAX)))
            return false;
        out = int(cut);
        return true;
    }
    default:
        return false;
    }
}

bool memberText(const Json::Value& object, const char* name, std::string& out) {
    if (object.isNull()) {
        out.clear();
        return true;
    }
    if (!object.isObject())
        return false;
    return readText(object.get(name, Json::Value()), out);
}

bool memberObject(const Json::Value& object, const char* name, Json::Value& out) {
    if (object.isNull()) {
        out = Json::Value(Json::objectValue);
        return true;
    }
    if (!object.isObject())
        return false;
    const Json::Value& member = object.get(name, Json::Value());
    if (member.isNull()) {
        out = Json::Value(Json::objectValue);
        return true;
    }
    if (!member.isObject())
        return false;
    out = member;
    return true;
}

bool parse(const std::string& text, Json::Value& out) {
    out = Json::Value();
    try {
        Json::CharReaderBuilder builder;
        builder["collectComments"] = true;
        builder["allowComments"] = true;
        const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        Json::Value parsed;
        std::string errors;
        if (!reader->parse(text.data(), text.data() + text.size(), &parsed, &errors))
            return false;
        out = std::move(parsed);
        return true;
    } catch (const std::exception&) {
        out = Json::Value();
        return false;
    }
}

} // namespace tidewell::json
