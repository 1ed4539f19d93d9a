#pragma once
// The shape of an answer as the on-device model's guided generation can take it,
// translated from the JSON schemas BRELL sends every provider. make() accepts the
// subset those schemas use (objects, arrays with items, strings with or without an
// enum, numbers, booleans, "anyOf" alternatives and nullable types) and names every
// nested shape after its parents (root, capitalised property name, "Item", "Option"
// and a number) so names never collide within one schema.
//
// A plain recursive value, compared by case and payload. Thread-safe. make() throws
// Failure naming the keyword, type or property it could not translate.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "util/Error.h"
#include "util/Json.h"

namespace brell {

struct OnDeviceSchemaPlanField;

class OnDeviceSchemaPlan {
public:
    enum class Kind { choice, array, object, oneOf, string, integer, number, boolean };
    using Field = OnDeviceSchemaPlanField;

    class Failure : public Error {
    public:
        static Failure unsupported(const std::string& what) { return Failure(what); }
        const std::string& unsupportedPart() const { return part_; }
        bool operator==(const Failure& other) const { return part_ == other.part_; }

    private:
        explicit Failure(const std::string& part) : Error("unsupported in a schema: " + part), part_(part) {}
        std::string part_;
    };

    struct Made;

    static Made make(const Json& schema, const std::string& name);

    static OnDeviceSchemaPlan choice(std::string name, std::vector<std::string> values);
    static OnDeviceSchemaPlan array(OnDeviceSchemaPlan element, std::optional<int64_t> max);
    static OnDeviceSchemaPlan object(std::string name, std::vector<Field> fields);
    static OnDeviceSchemaPlan oneOf(std::string name, std::vector<OnDeviceSchemaPlan> plans);
    static OnDeviceSchemaPlan string();
    static OnDeviceSchemaPlan integer();
    static OnDeviceSchemaPlan number();
    static OnDeviceSchemaPlan boolean();

    Kind kind;
    std::string name;                      // choice, object, oneOf
    std::vector<std::string> values;       // choice
    std::vector<OnDeviceSchemaPlan> plans; // array: its one element; oneOf: the alternatives
    std::optional<int64_t> max;            // array
    std::vector<Field> fields;             // object

    bool operator==(const OnDeviceSchemaPlan& other) const;

private:
    explicit OnDeviceSchemaPlan(Kind k);
};

struct OnDeviceSchemaPlanField {
    std::string name;                       // exactly as in the schema
    std::optional<std::string> description; // the property's "description" when it is text
    OnDeviceSchemaPlan plan;
    bool optional = false;
    bool operator==(const OnDeviceSchemaPlanField&) const = default;
};

struct OnDeviceSchemaPlan::Made {
    OnDeviceSchemaPlan plan;
    bool optional = false;
    bool operator==(const Made&) const = default;
};

} // namespace brell
