#include "Keychain/SecretServiceKeychainBackend.h"

#include <libsecret/secret.h>

#include "Foundation/Error.h"

namespace {

const SecretSchema* internetSchema() {
    static const SecretSchema schema = {"org.orvik.InternetPassword",
                                        SECRET_SCHEMA_NONE,
                                        {{"server", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {"port", SECRET_SCHEMA_ATTRIBUTE_INTEGER},
                                         {"protocol", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {"description", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                        0,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr};
    return &schema;
}

const SecretSchema* genericSchema() {
    static const SecretSchema schema = {"org.orvik.GenericPassword",
                                        SECRET_SCHEMA_NONE,
                                        {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {"description", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                        0,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr};
    return &schema;
}

const SecretSchema* schemaFor(const KeychainItemKey& key) {
    return key.itemClass == KeychainItemKey::ItemClass::InternetPassword ? internetSchema() : genericSchema();
}

// The attributes that find an item (the description is stored, not matched).
struct Attributes {
    GHashTable* table = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free);
    ~Attributes() { g_hash_table_unref(table); }
    void put(const char* name, const std::string& value) {
        g_hash_table_insert(table, g_strdup(name), g_strdup(value.c_str()));
    }
};

void fill(Attributes& a, const KeychainItemKey& key) {
    if (key.itemClass == KeychainItemKey::ItemClass::InternetPassword) {
        a.put("server", key.server);
        a.put("port", std::to_string(key.port));
        a.put("protocol", key.protocol);
    } else {
        a.put("service", key.service);
    }
    a.put("account", key.account);
}

void report(GError* gerror, Error* error, const char* what) {
    if (error) {
        std::string message = gerror && gerror->message ? gerror->message : what;
        *error = Error("Orvik.Keychain", gerror ? gerror->code : -1, what, message);
    }
    if (gerror) g_error_free(gerror);
}

} // namespace

std::optional<std::string> SecretServiceKeychainBackend::get(const KeychainItemKey& key, Error* error) {
    Attributes a;
    fill(a, key);
    GError* gerror = nullptr;
    gchar* secret = secret_password_lookupv_sync(schemaFor(key), a.table, nullptr, &gerror);
    if (gerror) {
        report(gerror, error, "The keychain item could not be read.");
        return std::nullopt;
    }
    if (!secret) return std::nullopt;
    std::string value(secret);
    secret_password_free(secret);
    return value;
}

bool SecretServiceKeychainBackend::set(const KeychainItemKey& key, std::string_view secret,
                                       const std::string& label, const std::string& description,
                                       Error* error) {
    Attributes a;
    fill(a, key);
    a.put("description", description);
    std::string value(secret);
    GError* gerror = nullptr;
    gboolean ok = secret_password_storev_sync(schemaFor(key), a.table, SECRET_COLLECTION_DEFAULT,
                                              label.c_str(), value.c_str(), nullptr, &gerror);
    std::fill(value.begin(), value.end(), '\0');
    if (!ok || gerror) {
        report(gerror, error, "The keychain item could not be stored.");
        return false;
    }
    return true;
}

std::optional<KeychainItemAttributes> SecretServiceKeychainBackend::attributes(const KeychainItemKey& key,
                                                                               Error* error) {
    Attributes a;
    fill(a, key);
    GError* gerror = nullptr;
    GList* items =
        secret_service_search_sync(nullptr, schemaFor(key), a.table, SECRET_SEARCH_NONE, nullptr, &gerror);
    if (gerror) {
        report(gerror, error, "The keychain could not be searched.");
        return std::nullopt;
    }
    std::optional<KeychainItemAttributes> found;
    if (items) {
        auto* item = static_cast<SecretItem*>(items->data);
        KeychainItemAttributes attrs;
        if (gchar* label = secret_item_get_label(item)) {
            attrs.label = label;
            g_free(label);
        }
        if (GHashTable* stored = secret_item_get_attributes(item)) {
            if (auto* d = static_cast<const char*>(g_hash_table_lookup(stored, "description")))
                attrs.description = d;
            g_hash_table_unref(stored);
        }
        if (const gchar* path = g_dbus_proxy_get_object_path(G_DBUS_PROXY(item))) attrs.persistentRef = path;
        found = attrs;
    }
    g_list_free_full(items, g_object_unref);
    return found;
}

bool SecretServiceKeychainBackend::remove(const KeychainItemKey& key, Error* error) {
    Attributes a;
    fill(a, key);
    GError* gerror = nullptr;
    secret_password_clearv_sync(schemaFor(key), a.table, nullptr, &gerror);
    if (gerror) {
        report(gerror, error, "The keychain item could not be removed.");
        return false;
    }
    return true;
}
