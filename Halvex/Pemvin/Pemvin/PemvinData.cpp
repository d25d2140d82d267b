#include "Pemvin/PemvinData.h"

#include <cstdint>

#include <openssl/bn.h>

void appendBlockData(std::string& data, std::string_view block) {
    auto n = static_cast<std::uint32_t>(block.size());
    const char len[4] = {static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8),
                         static_cast<char>(n)};
    data.append(len, 4);
    data.append(block);
}

bool appendBigNum(std::string& data, const BIGNUM* number) {
    if (!number || BN_is_negative(number)) return false;
    int bits = BN_num_bits(number);
    if (bits > PemvinMaxBigNumBits) return false;
    // A fixed buffer: the largest magnitude plus the sign byte.
    unsigned char buf[PemvinMaxBigNumBits / 8 + 1];
    if (bits == 0) {
        appendBlockData(data, {});
        return true;
    }
    int n = BN_bn2bin(number, buf + 1);
    if (n <= 0) return false;
    unsigned char* start = buf + 1;
    if (start[0] & 0x80) {
        buf[0] = 0;
        start = buf;
        ++n;
    }
    appendBlockData(data,
                    std::string_view(reinterpret_cast<const char*>(start), static_cast<std::size_t>(n)));
    return true;
}

std::optional<std::string_view> readBlockData(std::string_view data, std::size_t& cursor) {
    if (cursor > data.size() || data.size() - cursor < 4) return std::nullopt;
    auto b = [&](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(data[cursor + i]));
    };
    std::uint32_t len = b(0) << 24 | b(1) << 16 | b(2) << 8 | b(3);
    if (data.size() - cursor - 4 < len) return std::nullopt;
    std::string_view block = data.substr(cursor + 4, len);
    cursor += 4 + len;
    return block;
}

std::string pemvin_base64Encode(std::string_view bytes) {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    auto at = [&](std::size_t k) { return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[k])); };
    for (; i + 3 <= bytes.size(); i += 3) {
        std::uint32_t v = at(i) << 16 | at(i + 1) << 8 | at(i + 2);
        out += {alphabet[v >> 18], alphabet[(v >> 12) & 63], alphabet[(v >> 6) & 63], alphabet[v & 63]};
    }
    if (bytes.size() - i == 1) {
        std::uint32_t v = at(i) << 16;
        out += {alphabet[v >> 18], alphabet[(v >> 12) & 63], '=', '='};
    } else if (bytes.size() - i == 2) {
        std::uint32_t v = at(i) << 16 | at(i + 1) << 8;
        out += {alphabet[v >> 18], alphabet[(v >> 12) & 63], alphabet[(v >> 6) & 63], '='};
    }
    return out;
}

std::string pemvin_base64Decode(std::string_view text) {
    std::string out;
    std::uint32_t acc = 0;
    int bits = 0;
    for (char ch : text) {
        int v;
        if (ch >= 'A' && ch <= 'Z')
            v = ch - 'A';
        else if (ch >= 'a' && ch <= 'z')
            v = ch - 'a' + 26;
        else if (ch >= '0' && ch <= '9')
            v = ch - '0' + 52;
        else if (ch == '+')
            v = 62;
        else if (ch == '/')
            v = 63;
        else if (ch == '=')
            break;
        else
            continue;
        acc = (acc << 6) | static_cast<std::uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((acc >> bits) & 0xff));
        }
    }
    return out;
}
