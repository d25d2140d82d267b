#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include <openssl/types.h>

struct Error;

// Error domain of every failure the key library reports.
inline constexpr const char* PemvinErrorDomain = "Pemvin";

// Asked for a key's passphrase while it is read; may be asked more than once
// for one load. An empty answer gives the reader no passphrase.
using PemvinPassphraseHandler = std::function<std::string()>;

// Registers the crypto library's ciphers and digests, once per process; safe
// from any thread.
void PemvinInitiate();
// The crypto library's cleanup, once per process.
void PemvinFinalize();

// Passphrase callback for the PEM readers: `userdata` is a
// `const PemvinPassphraseHandler*` (may be null). Copies at most `size` bytes
// of the handler's answer into `buf` and returns how many.
int pem_get_password(char* buf, int size, int rwflag, void* userdata);

// "%02x" pairs separated by ":"; nullopt when `count` is too large to format.
std::optional<std::string> getHexa(const unsigned char* bytes, std::size_t count);

// The supported curves: "nistp256" 415, "nistp384" 715, "nistp521" 716.
int pemvin_curve_name_to_nid(std::string_view name);          // -1 when unknown
std::optional<std::string> pemvin_curve_nid_to_name(int nid); // nullopt when unsupported
int pemvin_curve_nid_to_bits(int nid);                        // 0 when unsupported
std::string pemvin_ssh_name_from_type_nid(int nid);           // "ssh-unknown" when unsupported

// Curve identifier of an EC key, -1 when it has none. A key whose curve is
// given by explicit parameters equal to one of the supported curves is
// replaced by an equal key that names the curve.
int pemvin_ecdsa_key_to_nid(EVP_PKEY*& key);
