#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

// A parameter that is missing where a value is needed, or that cannot be read.
inline constexpr uint64_t RellumNotFound = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
// Larger numbers from the host are clamped to this, so nothing downstream
// overflows when it adds to a count.
inline constexpr uint64_t RellumScannerParameterMax = 0x7FFFFFFF;
// Parameters past this many in one sequence are ignored.
inline constexpr size_t RellumScannerMaxParameters = 64;

// A parsed parameter list: a fixed array, so that parsing allocates nothing.
class RellumParameterList {
public:
    size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    uint64_t operator[](size_t index) const { return values_[index]; }
    const uint64_t* begin() const { return values_; }
    const uint64_t* end() const { return values_ + count_; }
    void clear() { count_ = 0; }
    bool push_back(uint64_t value) {
        if (count_ == RellumScannerMaxParameters) return false;
        values_[count_++] = value;
        return true;
    }

private:
    uint64_t values_[RellumScannerMaxParameters];
    size_t count_ = 0;
};

// Reads a decimal number at the start of `text`: digits up to the first other
// byte, clamped to RellumScannerParameterMax. False when `text` does not start
// with a digit.
bool RellumScanUInteger(std::string_view text, uint64_t* value);

// One parameter: empty text gives `defaultValue`, unreadable text
// RellumNotFound, 0 gives `defaultValue` when `zeroIsDefault` is set.
uint64_t RellumScanNumericParameter(std::string_view text, uint64_t defaultValue, bool zeroIsDefault);

// The parameters separated by ";", each read as above; nullopt when any of them
// is unreadable. With `count` above 0 the list is padded with `defaultValue` or
// cut to `count`. Empty text is one empty parameter.
std::optional<RellumParameterList> RellumScanParameterList(std::string_view text, uint64_t defaultValue,
                                                           bool zeroIsDefault, size_t count);

// The same, filling `*list` in place; false when a parameter is unreadable.
bool RellumScanParameterListInto(std::string_view text, uint64_t defaultValue, bool zeroIsDefault,
                                 size_t count, RellumParameterList* list);

// The parameters of a graphic rendition: as RellumScanParameterListInto with
// default 0, and ":" sub-parameters read too. The colon forms of extended
// colours (38:5:N, 38:2:R:G:B, 38:2:CS:R:G:B, and 48 alike) become the values
// of their semicolon forms; other sub-parameters leave the main value alone,
// and a malformed colour is dropped.
bool RellumScanSGRParameterListInto(std::string_view text, RellumParameterList* list);

inline std::optional<RellumParameterList> RellumScanParameters(std::string_view text, uint64_t defaultValue,
                                                               bool zeroIsDefault) {
    return RellumScanParameterList(text, defaultValue, zeroIsDefault, 0);
}
