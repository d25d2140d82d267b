#include "HalvexCore/HalvexPrivateKeyParser.h"

#include "HalvexCore/HalvexCoreErrors.h"

#include <libssh/libssh.h>

#include <cstring>
#include <fstream>
#include <sstream>

namespace {

struct PassphraseRequest {
    const HalvexPassphraseHandler* handler;
    bool asked = false;
};

int passphraseCallback(const char*, char* buf, size_t len, int, int, void* userdata) {
    auto* request = static_cast<PassphraseRequest*>(userdata);
    if (!request->handler || !*request->handler || len == 0) return -1;
    request->asked = true;
    std::string pass = (*request->handler)();
    if (pass.size() >= len) return -1;
    std::memcpy(buf, pass.c_str(), pass.size() + 1);
    return 0;
}

} // namespace

HalvexPrivateKeyParser::~HalvexPrivateKeyParser() {
    if (key_) ssh_key_free(key_);
}

std::shared_ptr<HalvexPrivateKeyParser>
HalvexPrivateKeyParser::parserFromFilePath(const std::string& path, const HalvexPassphraseHandler& handler,
                                           Error* error) {
    auto fail = [&](const std::string& text) -> std::shared_ptr<HalvexPrivateKeyParser> {
        if (error)
            *error = Error(HalvexCoreErrorDomain, HalvexCoreErrorConfiguration, text,
                           "Please try again or import another private key.");
        return nullptr;
    };
    std::ifstream in(path, std::ios::binary);
    if (!in) return fail("Could not open private key file “" + path + "”");
    std::ostringstream text;
    text << in.rdbuf();
    std::string contents = text.str();
    if (contents.empty()) return fail("The private key file “" + path + "” is empty");

    PassphraseRequest request{&handler};
    ssh_key key = nullptr;
    int rc = ssh_pki_import_privkey_base64(contents.c_str(), nullptr, passphraseCallback, &request, &key);
    if (rc != SSH_OK || !key) {
        if (request.asked) return fail("Could not decrypt private key “" + path + "”: wrong passphrase?");
        return fail("Could not parse private key “" + path + "”");
    }
    std::shared_ptr<HalvexPrivateKeyParser> parser(new HalvexPrivateKeyParser());
    parser->key_ = key;
    return parser;
}
