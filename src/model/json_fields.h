#pragma once

// Strict field access for the decoders of local files: every required key must be present with the
// right type, and the first problem is kept as a readable message naming the record and the key.
// Internal to src/model; include only from .cpp files.

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "base/uuid.h"

namespace orvane::detail {

class JsonFields {
public:
    JsonFields(const nlohmann::json& object, std::string_view record) : object_(object), record_(record) {
        if (!object.is_object()) fail("expected an object");
    }

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }

    // Hands the first error to a caller that asked for it.
    void report(std::string* error) const {
        if (error && !error_.empty()) *error = error_;
    }

    // Built by appending: GCC 12 at -O3 misreports `"literal" + std::string` as an overlapping copy.
    void fail(std::string_view problem) {
        if (!error_.empty()) return;
        error_.append(record_).append(": ").append(problem);
    }
    void failKey(std::string_view key, std::string_view problem) {
        std::string message;
        message.append("\"").append(key).append("\" ").append(problem);
        fail(message);
    }

    // The value under `key`; absent (also JSON null) answers nullptr. Records nothing.
    const nlohmann::json* find(std::string_view key) const {
        if (!object_.is_object()) return nullptr;
        const auto& members = object_.get_ref<const nlohmann::json::object_t&>();
        const auto found = members.find(key);
        if (found == members.end() || found->second.is_null()) return nullptr;
        return &found->second;
    }

    const nlohmann::json* required(std::string_view key) {
        const auto* value = find(key);
        if (!value) failKey(key, "is missing");
        return value;
    }

    double number(std::string_view key) { return optionalNumberOr(required(key), key).value_or(0); }
    std::optional<double> optionalNumber(std::string_view key) { return optionalNumberOr(find(key), key); }

    std::int64_t integer(std::string_view key) { return optionalIntegerOr(required(key), key).value_or(0); }

    bool boolean(std::string_view key) { return optionalBooleanOr(required(key), key).value_or(false); }
    std::optional<bool> optionalBoolean(std::string_view key) { return optionalBooleanOr(find(key), key); }

    std::string string(std::string_view key) { return optionalStringOr(required(key), key).value_or(""); }
    std::optional<std::string> optionalString(std::string_view key) { return optionalStringOr(find(key), key); }

    Uuid uuid(std::string_view key) { return optionalUuidOr(required(key), key).value_or(Uuid()); }
    std::optional<Uuid> optionalUuid(std::string_view key) { return optionalUuidOr(find(key), key); }

private:
    std::optional<double> optionalNumberOr(const nlohmann::json* value, std::string_view key) {
        if (!value) return std::nullopt;
        if (!value->is_number()) {
            failKey(key, "is not a number");
            return std::nullopt;
        }
        return value->get<double>();
    }

    std::optional<std::int64_t> optionalIntegerOr(const nlohmann::json* value, std::string_view key) {
        if (!value) return std::nullopt;
        if (value->is_number_integer()) return value->get<std::int64_t>();
        // A whole number written with a fraction part (1.0) is still that integer.
        if (value->is_number_float()) {
            const double number = value->get<double>();
            if (std::abs(number) < 9.0e18 && number == static_cast<double>(static_cast<std::int64_t>(number))) {
                return static_cast<std::int64_t>(number);
            }
        }
        failKey(key, "is not an integer");
        return std::nullopt;
    }

    std::optional<bool> optionalBooleanOr(const nlohmann::json* value, std::string_view key) {
        if (!value) return std::nullopt;
        if (!value->is_boolean()) {
            failKey(key, "is not a boolean");
            return std::nullopt;
        }
        return value->get<bool>();
    }

    std::optional<std::string> optionalStringOr(const nlohmann::json* value, std::string_view key) {
        if (!value) return std::nullopt;
        if (!value->is_string()) {
            failKey(key, "is not a string");
            return std::nullopt;
        }
        return value->get<std::string>();
    }

    std::optional<Uuid> optionalUuidOr(const nlohmann::json* value, std::string_view key) {
        const auto text = optionalStringOr(value, key);
        if (!text) return std::nullopt;
        auto id = Uuid::parse(*text);
        if (!id) failKey(key, "is not a UUID");
        return id;
    }

    const nlohmann::json& object_;
    std::string record_;
    std::string error_;
};

}  // namespace orvane::detail
