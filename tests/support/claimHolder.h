// Another program's claim on a fan (host/device/fanClaim.h): a thread of the
// test that owns the mutex of that name, as another process would, until the
// object goes.
#pragma once

#include <windows.h>

#include <string>

class ClaimHolder {
public:
    // `name` in full: "Global\\VORN fan claim VORN0000 fan 0". Returns once
    // the thread owns it (or after 5 s: see held()).
    explicit ClaimHolder(const std::string &name);
    ~ClaimHolder();
    ClaimHolder(const ClaimHolder &) = delete;
    ClaimHolder &operator=(const ClaimHolder &) = delete;

    bool held() const { return held_; }

private:
    static DWORD WINAPI own(LPVOID self);
    std::string name_;
    HANDLE owned_ = nullptr, release_ = nullptr, thread_ = nullptr;
    bool held_ = false;
};
