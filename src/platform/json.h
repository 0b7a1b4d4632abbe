// Json: a JSON value for machine-readable output.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace platform {

/// A JSON value: null, a boolean, a number, a UTF-8 string, an array or an object whose keys keep the order in which
/// they were set. Invalid UTF-8 in a string is replaced, never an error.
class Json {
public:
    Json(); ///< null
    Json(bool value);
    Json(int value);
    Json(long long value);
    Json(double value);
    Json(const char* value);
    Json(std::string_view value);
    Json(const std::string& value);
    ~Json();
    Json(const Json& other);
    Json(Json&& other) noexcept;
    Json& operator=(Json other) noexcept;

    static Json array();
    static Json object();
    /// Appends to an array.
    Json& add(Json value);
    /// Sets `key` of an object.
    Json& set(std::string_view key, Json value);
    bool isNull() const;
    /// One line, without a line break.
    std::string dump() const;

private:
    struct Value;
    std::unique_ptr<Value> value;
};

} // namespace platform
