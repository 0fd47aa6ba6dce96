#pragma once

#include "ScopedEnv.h"

#include <string>
#ifdef _WIN32
#include <windows.h>
#endif

#ifdef _WIN32
/// Sets one of the user's regional settings for the scope, then puts the old value back.
class UserLocaleSetting {
public:
    UserLocaleSetting(LCTYPE type, const wchar_t* value) : type_(type) {
        wchar_t old[128] = {};
        GetLocaleInfoW(LOCALE_USER_DEFAULT, type, old, 128);
        old_ = old;
        ok_ = SetLocaleInfoW(LOCALE_USER_DEFAULT, type, value);
    }
    ~UserLocaleSetting() { SetLocaleInfoW(LOCALE_USER_DEFAULT, type_, old_.c_str()); }
    UserLocaleSetting(const UserLocaleSetting&) = delete;
    UserLocaleSetting& operator=(const UserLocaleSetting&) = delete;
    bool ok() const { return ok_; }

private:
    LCTYPE type_;
    std::wstring old_;
    bool ok_ = false;
};

/// For the scope, the user's short date and long time are those of the "C" locale: 03/05/07 14:07:09.
class CLocaleDateFormats {
public:
    CLocaleDateFormats() : date_(LOCALE_SSHORTDATE, L"MM/dd/yy"), time_(LOCALE_STIMEFORMAT, L"HH:mm:ss") {}

private:
    UserLocaleSetting date_, time_;
};
#else
/// For the scope, the user's short date and long time are those of the "C" locale: 03/05/07 14:07:09.
class CLocaleDateFormats {
public:
    CLocaleDateFormats() : all_("LC_ALL", "C") {}

private:
    ScopedEnv all_;
};
#endif
