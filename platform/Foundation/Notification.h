#pragma once

#include <any>
#include <nlohmann/json.hpp>
#include <string>

// One posted notification: its name, the object that sent it (any value, often
// a shared_ptr to a model) and its user information.
struct Notification {
    std::string name;
    std::any object;
    nlohmann::json userInfo;
};
