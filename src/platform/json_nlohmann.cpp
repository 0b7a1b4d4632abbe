// Json over nlohmann::json, keys in insertion order.
#include "platform/json.h"

#include <nlohmann/json.hpp>

namespace platform {

struct Json::Value {
    nlohmann::ordered_json json;
};

Json::Json() : value(std::make_unique<Value>()) {}
Json::Json(bool b) : value(std::make_unique<Value>(Value{b})) {}
Json::Json(int n) : value(std::make_unique<Value>(Value{n})) {}
Json::Json(long long n) : value(std::make_unique<Value>(Value{n})) {}
Json::Json(double d) : value(std::make_unique<Value>(Value{d})) {}
Json::Json(const char* s) : Json(std::string_view(s)) {}
Json::Json(std::string_view s) : value(std::make_unique<Value>(Value{std::string(s)})) {}
Json::Json(const std::string& s) : value(std::make_unique<Value>(Value{s})) {}
Json::~Json() = default;
Json::Json(const Json& other) : value(std::make_unique<Value>(*other.value)) {}
Json::Json(Json&& other) noexcept = default;

Json& Json::operator=(Json other) noexcept
{
    value = std::move(other.value);
    return *this;
}

Json Json::array()
{
    Json result;
    result.value->json = nlohmann::ordered_json::array();
    return result;
}

Json Json::object()
{
    Json result;
    result.value->json = nlohmann::ordered_json::object();
    return result;
}

Json& Json::add(Json item)
{
    value->json.push_back(std::move(item.value->json));
    return *this;
}

Json& Json::set(std::string_view key, Json item)
{
    value->json[std::string(key)] = std::move(item.value->json);
    return *this;
}

bool Json::isNull() const
{
    return value->json.is_null();
}

std::string Json::dump() const
{
    return value->json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

} // namespace platform
