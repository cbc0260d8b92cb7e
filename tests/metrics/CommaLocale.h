#pragma once
// A locale that writes and reads numbers with a decimal comma, for the C library and for
// C++ streams, while it lives; then the C locale again.
#include <clocale>
#include <locale>
#include <stdexcept>

class CCommaLocale {
public:
    static constexpr const char* kName = "de_DE.UTF-8";

    CCommaLocale() {
        m_active = std::setlocale(LC_ALL, kName) != nullptr;
        if (m_active) {
            std::locale::global(std::locale(kName));
        }
    }
    ~CCommaLocale() {
        std::setlocale(LC_ALL, "C");
        std::locale::global(std::locale::classic());
    }
    CCommaLocale(const CCommaLocale&) = delete;
    CCommaLocale& operator=(const CCommaLocale&) = delete;

    // False where the locale is not installed (scripts/install-deps.sh makes it).
    bool Active() const { return m_active; }

private:
    bool m_active = false;
};
