#pragma once
// A bcrypt hash of a password at a cost, as "htpasswd -B" writes it, for the tests' web
// configurations; empty when the crypt library makes none.
#include <crypt.h>

#include <string>

inline std::string BcryptHash(const std::string& password, int cost) {
    crypt_data data{};
    const char* salt =
        crypt_gensalt_rn("$2b$", cost, nullptr, 0, data.setting, sizeof data.setting);
    return salt != nullptr ? crypt_rn(password.c_str(), salt, &data, sizeof data) : "";
}
