#include "Rellum/RellumProfileModel.h"

#include "Rellum/VyTerminalThemeObject.h"

#include <array>
#include <random>

namespace {
// A text property whose null reads as an absent value: the value stays as it
// was (the default, for a profile being read). Other kinds are checked as ever.
template <class G, class S>
MTLProperty textProperty(std::string key, G getter, S setter) {
    MTLProperty p = MTLProperty::make(std::move(key), getter, setter);
    p.set = [set = std::move(p.set)](MTLModel& model, const nlohmann::json& value, std::string& problem) {
        return value.is_null() || set(model, value, problem);
    };
    return p;
}
} // namespace

const MTLModelClass& RellumProfileModel::classDescription() {
    using P = RellumProfileModel;
    static const MTLModelClass c = MTLModelClass::make<P>(
        "RellumProfileModel", &MTLModel::classDescription(),
        {
            textProperty("profile_id", &P::profile_id, &P::setProfile_id).notInJSON(),
            textProperty("profile_name", &P::profile_name, &P::setProfile_name),
            textProperty("term_type", &P::term_type, &P::setTerm_type),
            textProperty("theme_name", &P::theme_name, &P::setTheme_name),
            textProperty("run_command", &P::run_command, &P::setRun_command),
            MTLProperty::make("run_insideshell", &P::run_insideshell, &P::setRun_insideshell),
            MTLProperty::make("is_default", &P::is_default, &P::setIs_default),
            MTLProperty::make("control_h_del", &P::control_h_del, &P::setControl_h_del),
            MTLProperty::make("application_keypad", &P::application_keypad, &P::setApplication_keypad),
        },
        {.ignoresUnknownKeys = true});
    return c;
}

const MTLModelClass& VyTerminalProfile::classDescription() {
    static const MTLModelClass c = MTLModelClass::make<VyTerminalProfile>(
        "VyTerminalProfile", &RellumProfileModel::classDescription(), {}, {.ignoresUnknownKeys = true});
    return c;
}

namespace {
// Stored server lists decode their profiles by class name.
const bool registered = [] {
    MTLRegisterModelClass<RellumProfileModel>();
    MTLRegisterModelClass<VyTerminalProfile>();
    return true;
}();
} // namespace

RellumProfileModel::RellumProfileModel() {
    (void)registered;
    profile_id_ = newUUIDString();
    term_type_ = "xterm-256color";
    theme_name_ = VyTerminalThemeObject::defaultThemes().front()->themeName();
    profile_name_ = theme_name_;
    run_command_ = "";
    run_insideshell_ = false;
    is_default_ = false;
    control_h_del_ = false;
    application_keypad_ = true;
}

std::shared_ptr<RellumProfileModel> RellumProfileModel::profileWithName(const std::string& name,
                                                                        const std::string& themeName) {
    auto profile = std::make_shared<RellumProfileModel>();
    profile->setProfile_name(name);
    profile->setTheme_name(themeName);
    return profile;
}

std::shared_ptr<RellumProfileModel> RellumProfileModel::duplicate() const {
    auto copy = copyAs<RellumProfileModel>();
    copy->setProfile_id(newUUIDString());
    return copy;
}

const std::vector<std::string>& RellumProfileModel::builtinTermTypes() const {
    static const std::vector<std::string> types = {"ansi",          "dtterm",        "nsterm", "rxvt",
                                                   "vt52",          "vt100",         "vt102",  "xterm",
                                                   "xterm-16color", "xterm-256color"};
    return types;
}

std::string RellumProfileModel::newUUIDString() {
    // Version 4 (random) UUID.
    thread_local std::mt19937_64 generator = [] {
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device(), device(), device(), device(), device()};
        return std::mt19937_64(seed);
    }();
    std::array<unsigned char, 16> bytes;
    for (std::size_t i = 0; i < bytes.size(); i += 8) {
        const std::uint64_t r = generator();
        for (std::size_t j = 0; j < 8; ++j)
            bytes[i + j] = static_cast<unsigned char>(r >> (8 * j));
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(36);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out.push_back('-');
        out.push_back(hex[bytes[i] >> 4]);
        out.push_back(hex[bytes[i] & 0x0F]);
    }
    return out;
}
