#pragma once

#include <string>

// A failure reported to a caller: the domain and code say what went wrong for
// code that branches on it, the texts say it for the user.
struct Error {
    std::string domain;
    long code = 0;
    std::string localizedDescription;
    std::string recoverySuggestion;

    Error() = default;
    Error(std::string domain_, long code_, std::string description = {}, std::string suggestion = {})
        : domain(std::move(domain_)), code(code_), localizedDescription(std::move(description)),
          recoverySuggestion(std::move(suggestion)) {}

    friend bool operator==(const Error&, const Error&) = default;
};
