#pragma once

// Window geometry as the host asks for it in window operations; a value the
// host left out arrives as RellumNotFound converted to a coordinate.
struct RellumPoint {
    double x = 0;
    double y = 0;
    friend bool operator==(const RellumPoint&, const RellumPoint&) = default;
};

struct RellumSize {
    double width = 0;
    double height = 0;
    friend bool operator==(const RellumSize&, const RellumSize&) = default;
};
