#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

class MTLModel;
struct MTLModelClass;
class MTLValueTransformer;

// Encodes a nested model (its dictionary with "$class", or its JSON form).
using MTLNestedEncoder = std::function<nlohmann::json(const MTLModel&)>;

// The dictionary form of a nested model and back; defined with MTLModel.
nlohmann::json MTLEncodeModelObject(const MTLModel& model);
std::shared_ptr<MTLModel> MTLDecodeModelObject(const nlohmann::json& encoded, const MTLModelClass& expected,
                                               std::string& problem);

// How one C++ property type is written as a dictionary value and read back.
// Numbers and booleans are normalised by the property's type: a bool property
// takes true/false and also 0/1, an integer property takes whole numbers and
// also true/false, and each is written as its own JSON kind. Nil is null.
template <class V, class = void>
struct MTLValueCoding;

template <>
struct MTLValueCoding<bool> {
    static const MTLModelClass* modelClass() { return nullptr; }
    static nlohmann::json encode(bool v, const MTLNestedEncoder&) { return v; }
    static bool decode(const nlohmann::json& j, bool& out, std::string& problem) {
        if (j.is_boolean()) return out = j.get<bool>(), true;
        if (j.is_number_integer()) return out = j.get<std::int64_t>() != 0, true;
        if (j.is_number()) return out = j.get<double>() != 0.0, true;
        problem = "expected a boolean, found " + std::string(j.type_name());
        return false;
    }
};

template <class I>
struct MTLValueCoding<I, std::enable_if_t<std::is_integral_v<I> && !std::is_same_v<I, bool>>> {
    static const MTLModelClass* modelClass() { return nullptr; }
    static nlohmann::json encode(I v, const MTLNestedEncoder&) { return v; }
    static bool decode(const nlohmann::json& j, I& out, std::string& problem) {
        if (j.is_boolean()) return out = j.get<bool>() ? 1 : 0, true;
        if (j.is_number_unsigned()) {
            auto u = j.get<std::uint64_t>();
            if (std::in_range<I>(u)) return out = static_cast<I>(u), true;
        } else if (j.is_number_integer()) {
            auto s = j.get<std::int64_t>();
            if (std::in_range<I>(s)) return out = static_cast<I>(s), true;
        } else if (j.is_number_float()) {
            double d = j.get<double>();
            if (std::isfinite(d) && std::trunc(d) == d && d >= -9.2e18 && d <= 1.8e19) {
                if (d < 0 && std::in_range<I>(static_cast<std::int64_t>(d)))
                    return out = static_cast<I>(static_cast<std::int64_t>(d)), true;
                if (d >= 0 && std::in_range<I>(static_cast<std::uint64_t>(d)))
                    return out = static_cast<I>(static_cast<std::uint64_t>(d)), true;
            }
        } else {
            problem = "expected a number, found " + std::string(j.type_name());
            return false;
        }
        problem = "the number " + j.dump() + " is out of range";
        return false;
    }
};

// An enumeration is stored as its underlying integer.
template <class E>
struct MTLValueCoding<E, std::enable_if_t<std::is_enum_v<E>>> {
    using U = std::underlying_type_t<E>;
    static const MTLModelClass* modelClass() { return nullptr; }
    static nlohmann::json encode(E v, const MTLNestedEncoder& enc) {
        return MTLValueCoding<U>::encode(static_cast<U>(v), enc);
    }
    static bool decode(const nlohmann::json& j, E& out, std::string& problem) {
        U value{};
        if (!MTLValueCoding<U>::decode(j, value, problem)) return false;
        out = static_cast<E>(value);
        return true;
    }
};

template <>
struct MTLValueCoding<double> {
    static const MTLModelClass* modelClass() { return nullptr; }
    static nlohmann::json encode(double v, const MTLNestedEncoder&) { return v; }
    static bool decode(const nlohmann::json& j, double& out, std::string& problem) {
        if (j.is_boolean()) return out = j.get<bool>() ? 1.0 : 0.0, true;
        if (j.is_number()) return out = j.get<double>(), true;
        problem = "expected a number, found " + std::string(j.type_name());
        return false;
    }
};

template <>
struct MTLValueCoding<std::string> {
    static const MTLModelClass* modelClass() { return nullptr; }
    static nlohmann::json encode(const std::string& v, const MTLNestedEncoder&) { return v; }
    static bool decode(const nlohmann::json& j, std::string& out, std::string& problem) {
        if (j.is_string()) return out = j.get<std::string>(), true;
        problem = "expected a string, found " + std::string(j.type_name());
        return false;
    }
};

// Any JSON value as it stands (for properties that hold text or numbers).
template <>
struct MTLValueCoding<nlohmann::json> {
    static const MTLModelClass* modelClass() { return nullptr; }
    static nlohmann::json encode(const nlohmann::json& v, const MTLNestedEncoder&) { return v; }
    static bool decode(const nlohmann::json& j, nlohmann::json& out, std::string&) { return out = j, true; }
};

template <class V>
struct MTLValueCoding<std::optional<V>> {
    static const MTLModelClass* modelClass() { return MTLValueCoding<V>::modelClass(); }
    static nlohmann::json encode(const std::optional<V>& v, const MTLNestedEncoder& enc) {
        return v ? MTLValueCoding<V>::encode(*v, enc) : nlohmann::json(nullptr);
    }
    static bool decode(const nlohmann::json& j, std::optional<V>& out, std::string& problem) {
        if (j.is_null()) return out.reset(), true;
        V value{};
        if (!MTLValueCoding<V>::decode(j, value, problem)) return false;
        out = std::move(value);
        return true;
    }
};

// A nested model; "$class" in its dictionary picks a subclass (or a class
// registered under a legacy name), otherwise M itself is built.
template <class M>
struct MTLValueCoding<std::shared_ptr<M>, std::enable_if_t<std::is_base_of_v<MTLModel, M>>> {
    static const MTLModelClass* modelClass() { return &M::classDescription(); }
    static nlohmann::json encode(const std::shared_ptr<M>& v, const MTLNestedEncoder& enc) {
        if (!v) return nullptr;
        return enc ? enc(*v) : MTLEncodeModelObject(*v);
    }
    static bool decode(const nlohmann::json& j, std::shared_ptr<M>& out, std::string& problem) {
        if (j.is_null()) return out.reset(), true;
        auto model = MTLDecodeModelObject(j, M::classDescription(), problem);
        if (!model) return false;
        out = std::dynamic_pointer_cast<M>(model);
        if (!out) problem = "the nested object is not of the expected class";
        return static_cast<bool>(out);
    }
};

template <class V>
struct MTLValueCoding<std::vector<V>> {
    static const MTLModelClass* modelClass() { return MTLValueCoding<V>::modelClass(); }
    static nlohmann::json encode(const std::vector<V>& v, const MTLNestedEncoder& enc) {
        nlohmann::json array = nlohmann::json::array();
        for (const auto& e : v)
            array.push_back(MTLValueCoding<V>::encode(e, enc));
        return array;
    }
    static bool decode(const nlohmann::json& j, std::vector<V>& out, std::string& problem) {
        if (!j.is_array()) {
            problem = "expected an array, found " + std::string(j.type_name());
            return false;
        }
        std::vector<V> result;
        result.reserve(j.size());
        for (const auto& e : j) {
            V value{};
            if (!MTLValueCoding<V>::decode(e, value, problem)) {
                problem = "element " + std::to_string(result.size()) + ": " + problem;
                return false;
            }
            result.push_back(std::move(value));
        }
        out = std::move(result);
        return true;
    }
};

namespace mtl_detail {
template <class G>
struct Getter;
template <class C, class R>
struct Getter<R (C::*)() const> {
    using Class = C;
    using Value = std::decay_t<R>;
};
template <class C, class R>
struct Getter<R (C::*)() const noexcept> : Getter<R (C::*)() const> {};
template <class S>
struct Setter;
template <class C, class A>
struct Setter<void (C::*)(A)> {
    using Class = C;
};
template <class C, class A>
struct Setter<void (C::*)(A) noexcept> : Setter<void (C::*)(A)> {};
template <class C>
const C& as(const MTLModel& m) {
    return dynamic_cast<const C&>(m);
}
template <class C>
C& as(MTLModel& m) {
    return dynamic_cast<C&>(m);
}
} // namespace mtl_detail

// One property of a model class: its key, its JSON key (the key itself unless
// renamed or left out), an optional value transformer for its JSON form, and
// type-erased access through the model's getter and setter (or a member).
struct MTLProperty {
    std::string key;
    std::string JSONKey;
    bool inJSON = true;
    std::string transformerName;                      // looked up when used
    std::shared_ptr<MTLValueTransformer> transformer; // or given directly
    bool isArray = false;
    std::function<const MTLModelClass*()> modelClass; // class of nested models, or null
    std::function<nlohmann::json(const MTLModel&, const MTLNestedEncoder&)> get;
    std::function<bool(MTLModel&, const nlohmann::json&, std::string& problem)> set;

    // Through a getter and a setter: MTLProperty::make("port", &T::port, &T::setPort).
    template <class G, class S>
    static MTLProperty make(std::string key, G getter, S setter) {
        using C = typename mtl_detail::Getter<G>::Class;
        using SC = typename mtl_detail::Setter<S>::Class;
        using V = typename mtl_detail::Getter<G>::Value;
        MTLProperty p = base<V>(std::move(key));
        p.get = [getter](const MTLModel& m, const MTLNestedEncoder& enc) {
            return MTLValueCoding<V>::encode((mtl_detail::as<C>(m).*getter)(), enc);
        };
        p.set = [setter](MTLModel& m, const nlohmann::json& j, std::string& problem) {
            V value{};
            if (!MTLValueCoding<V>::decode(j, value, problem)) return false;
            (mtl_detail::as<SC>(m).*setter)(std::move(value));
            return true;
        };
        return p;
    }

    // Straight to a data member: MTLProperty::field("uid", &T::uid_).
    template <class C, class V>
    static MTLProperty field(std::string key, V C::*member) {
        MTLProperty p = base<V>(std::move(key));
        p.get = [member](const MTLModel& m, const MTLNestedEncoder& enc) {
            return MTLValueCoding<V>::encode(mtl_detail::as<C>(m).*member, enc);
        };
        p.set = [member](MTLModel& m, const nlohmann::json& j, std::string& problem) {
            V value{};
            if (!MTLValueCoding<V>::decode(j, value, problem)) return false;
            mtl_detail::as<C>(m).*member = std::move(value);
            return true;
        };
        return p;
    }

    // Builders: the JSON key when it differs, left out of JSON, a transformer.
    MTLProperty&& JSONKeyPath(std::string k) && {
        JSONKey = std::move(k);
        return std::move(*this);
    }
    MTLProperty&& notInJSON() && {
        inJSON = false;
        return std::move(*this);
    }
    MTLProperty&& transformedBy(std::string name) && {
        transformerName = std::move(name);
        return std::move(*this);
    }
    MTLProperty&& transformedBy(std::shared_ptr<MTLValueTransformer> t) && {
        transformer = std::move(t);
        return std::move(*this);
    }

private:
    template <class V>
    static MTLProperty base(std::string key) {
        MTLProperty p;
        p.JSONKey = key;
        p.key = std::move(key);
        p.modelClass = [] { return MTLValueCoding<V>::modelClass(); };
        p.isArray = isVector<V>::value;
        return p;
    }
    template <class V>
    struct isVector : std::false_type {};
    template <class E>
    struct isVector<std::vector<E>> : std::true_type {};
    template <class E>
    struct isVector<std::optional<std::vector<E>>> : std::true_type {};
};
