#include "BrellCore/ai/OnDeviceSchemaPlan.h"

#include <algorithm>

namespace brell {
namespace {

std::string capitalised(const std::string& name) {
    std::string out = name;
    if (!out.empty() && out[0] >= 'a' && out[0] <= 'z') {
        out[0] = static_cast<char>(out[0] - 'a' + 'A');
    }
    return out;
}

bool allObjects(const Json& list) {
    return list.is_array() && std::all_of(list.begin(), list.end(), [](const Json& e) { return e.is_object(); });
}

std::optional<std::vector<std::string>> texts(const Json& list) {
    if (!list.is_array()) {
        return std::nullopt;
    }
    std::vector<std::string> out;
    for (const Json& entry : list) {
        if (!entry.is_string()) {
            return std::nullopt;
        }
        out.push_back(entry.get<std::string>());
    }
    return out;
}

} // namespace

// Defined here, where the field type is complete.
OnDeviceSchemaPlan::OnDeviceSchemaPlan(Kind k) : kind(k) {}

OnDeviceSchemaPlan OnDeviceSchemaPlan::string() {
    return OnDeviceSchemaPlan(Kind::string);
}

OnDeviceSchemaPlan OnDeviceSchemaPlan::integer() {
    return OnDeviceSchemaPlan(Kind::integer);
}

OnDeviceSchemaPlan OnDeviceSchemaPlan::number() {
    return OnDeviceSchemaPlan(Kind::number);
}

OnDeviceSchemaPlan OnDeviceSchemaPlan::boolean() {
    return OnDeviceSchemaPlan(Kind::boolean);
}

OnDeviceSchemaPlan OnDeviceSchemaPlan::choice(std::string name, std::vector<std::string> values) {
    OnDeviceSchemaPlan plan(Kind::choice);
    plan.name = std::move(name);
    plan.values = std::move(values);
    return plan;
}

OnDeviceSchemaPlan OnDeviceSchemaPlan::array(OnDeviceSchemaPlan element, std::optional<int64_t> max) {
    OnDeviceSchemaPlan plan(Kind::array);
    plan.plans.push_back(std::move(element));
    plan.max = max;
    return plan;
}

OnDeviceSchemaPlan OnDeviceSchemaPlan::object(std::string name, std::vector<Field> fields) {
    OnDeviceSchemaPlan plan(Kind::object);
    plan.name = std::move(name);
    plan.fields = std::move(fields);
    return plan;
}

OnDeviceSchemaPlan OnDeviceSchemaPlan::oneOf(std::string name, std::vector<OnDeviceSchemaPlan> plans) {
    OnDeviceSchemaPlan plan(Kind::oneOf);
    plan.name = std::move(name);
    plan.plans = std::move(plans);
    return plan;
}

bool OnDeviceSchemaPlan::operator==(const OnDeviceSchemaPlan& other) const {
    return kind == other.kind && name == other.name && values == other.values && plans == other.plans &&
           max == other.max && fields == other.fields;
}

OnDeviceSchemaPlan::Made OnDeviceSchemaPlan::make(const Json& schema, const std::string& name) {
    if (const Json& anyOf = JsonText::member(schema, "anyOf"); allObjects(anyOf)) {
        std::vector<const Json*> kept;
        for (const Json& entry : anyOf) {
            if (JsonText::string(JsonText::member(entry, "type")) != "null") {
                kept.push_back(&entry);
            }
        }
        const bool optional = kept.size() < anyOf.size();
        if (kept.size() == 1) {
            return {make(*kept[0], name).plan, optional};
        }
        if (kept.empty()) {
            throw Failure::unsupported("anyOf");
        }
        std::vector<OnDeviceSchemaPlan> plans;
        for (std::size_t i = 0; i < kept.size(); ++i) {
            plans.push_back(make(*kept[i], name + "Option" + std::to_string(i + 1)).plan);
        }
        return {oneOf(name, std::move(plans)), optional};
    }

    std::string type;
    bool optional = false;
    const Json& typeValue = JsonText::member(schema, "type");
    if (typeValue.is_string()) {
        type = typeValue.get<std::string>();
    } else if (auto list = texts(typeValue)) {
        optional = std::find(list->begin(), list->end(), "null") != list->end();
        auto first = std::find_if(list->begin(), list->end(), [](const std::string& t) { return t != "null"; });
        if (first == list->end()) {
            throw Failure::unsupported("missing type");
        }
        type = *first;
    } else {
        throw Failure::unsupported("missing type");
    }

    if (type == "string") {
        if (auto values = texts(JsonText::member(schema, "enum")); values && !values->empty()) {
            return {choice(name, std::move(*values)), optional};
        }
        return {string(), optional};
    }
    if (type == "integer") {
        return {integer(), optional};
    }
    if (type == "number") {
        return {number(), optional};
    }
    if (type == "boolean") {
        return {boolean(), optional};
    }
    if (type == "array") {
        const Json& items = JsonText::member(schema, "items");
        if (!items.is_object()) {
            throw Failure::unsupported("array without items");
        }
        OnDeviceSchemaPlan element = make(items, name + "Item").plan;
        const Json& maxItems = JsonText::member(schema, "maxItems");
        std::optional<int64_t> max =
            maxItems.is_number_integer() || maxItems.is_number_unsigned() ? JsonText::integer(maxItems) : std::nullopt;
        return {array(std::move(element), max), optional};
    }
    if (type == "object") {
        const Json& properties = JsonText::member(schema, "properties");
        const Json noProperties = Json::object();
        const Json& props = properties.is_object() ? properties : noProperties;
        std::vector<std::string> required =
            texts(JsonText::member(schema, "required")).value_or(std::vector<std::string>{});
        std::vector<std::string> order;
        for (const auto& key : required) {
            if (props.contains(key) && std::find(order.begin(), order.end(), key) == order.end()) {
                order.push_back(key);
            }
        }
        std::vector<std::string> rest;
        for (const auto& [key, value] : props.items()) {
            if (std::find(required.begin(), required.end(), key) == required.end()) {
                rest.push_back(key);
            }
        }
        std::sort(rest.begin(), rest.end());
        order.insert(order.end(), rest.begin(), rest.end());

        std::vector<Field> fields;
        for (const auto& key : order) {
            const Json& property = props.at(key);
            if (!property.is_object()) {
                throw Failure::unsupported(key);
            }
            Made made = make(property, name + capitalised(key));
            bool isRequired = std::find(required.begin(), required.end(), key) != required.end();
            fields.push_back(Field{key, JsonText::string(JsonText::member(property, "description")),
                                   std::move(made.plan), made.optional || !isRequired});
        }
        return {object(name, std::move(fields)), optional};
    }
    throw Failure::unsupported(type);
}

} // namespace brell
