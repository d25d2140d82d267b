#pragma once

#include <cstdint>

// A page size: columns, then rows.
struct RellumPageSize {
    int64_t width = 0;
    int64_t height = 0;
    friend bool operator==(const RellumPageSize&, const RellumPageSize&) = default;
};

// A run of positions (cells, rows, columns or UTF-16 storage offsets).
struct RellumRange {
    uint64_t location = 0;
    uint64_t length = 0;
    uint64_t end() const { return location + length; }
    friend bool operator==(const RellumRange&, const RellumRange&) = default;
};

struct RellumCoord {
    int64_t x = 0;
    int64_t y = 0;
    friend bool operator==(const RellumCoord&, const RellumCoord&) = default;
};

// The size of one cell in points.
struct RellumCellSize {
    double width = 0;
    double height = 0;
    friend bool operator==(const RellumCellSize&, const RellumCellSize&) = default;
};

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
