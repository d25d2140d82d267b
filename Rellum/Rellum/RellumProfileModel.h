#pragma once

#include "Mantle/MTLModel.h"

#include <memory>
#include <string>
#include <vector>

// How the terminal of one server entry is set up: the terminal type announced
// to the remote shell, the colour theme and a few options. The JSON form leaves
// out profile_id; values given for keys the model does not have are ignored.
class RellumProfileModel : public MTLModel {
    MTL_MODEL_DECLARE(RellumProfileModel)

public:
    // A fresh UUID, the first predefined theme as theme and name,
    // "xterm-256color", no command, and only application_keypad on.
    RellumProfileModel();

    // Always a RellumProfileModel, whatever class it is asked through.
    static std::shared_ptr<RellumProfileModel> profileWithName(const std::string& name,
                                                               const std::string& themeName);

    // A copy with all values but a new profile_id.
    std::shared_ptr<RellumProfileModel> duplicate() const;

    // The terminal types offered for term_type.
    const std::vector<std::string>& builtinTermTypes() const;

    // A new UUID in upper-case text form (36 characters).
    static std::string newUUIDString();

    const std::string& profile_id() const { return profile_id_; }
    void setProfile_id(std::string value) { profile_id_ = std::move(value); }
    const std::string& profile_name() const { return profile_name_; }
    void setProfile_name(std::string value) { profile_name_ = std::move(value); }
    const std::string& term_type() const { return term_type_; }
    void setTerm_type(std::string value) { term_type_ = std::move(value); }
    const std::string& theme_name() const { return theme_name_; }
    void setTheme_name(std::string value) { theme_name_ = std::move(value); }
    const std::string& run_command() const { return run_command_; }
    void setRun_command(std::string value) { run_command_ = std::move(value); }
    bool run_insideshell() const { return run_insideshell_; }
    void setRun_insideshell(bool value) { run_insideshell_ = value; }
    bool is_default() const { return is_default_; }
    void setIs_default(bool value) { is_default_ = value; }
    bool control_h_del() const { return control_h_del_; }
    void setControl_h_del(bool value) { control_h_del_ = value; }
    bool application_keypad() const { return application_keypad_; }
    void setApplication_keypad(bool value) { application_keypad_ = value; }

private:
    std::string profile_id_;
    std::string profile_name_;
    std::string term_type_;
    std::string theme_name_;
    std::string run_command_;
    bool run_insideshell_ = false;
    bool is_default_ = false;
    bool control_h_del_ = false;
    bool application_keypad_ = true;
};

// An earlier name of the profile; no code creates one.
class VyTerminalProfile : public RellumProfileModel {
    MTL_MODEL_DECLARE(VyTerminalProfile)
};
