#pragma once
// A firewall kept in memory behind the guard's read seam and rule-store table, for as long as the object
// lives: what the program writes is what it reads again, so "write, read again, decide" runs for real.
// Calls are logged in order; any call can be made to fail, and the store can drop what it is given
// (as Wine's does) or change what it hands back.

#include <functional>
#include <string>
#include <vector>

#include "guard/FirewallModel.h"

namespace testkit {

class FakeFirewall {
public:
    explicit FakeFirewall(guard::firewall::State state);
    ~FakeFirewall();
    FakeFirewall(const FakeFirewall&) = delete;
    FakeFirewall& operator=(const FakeFirewall&) = delete;

    guard::firewall::State state;  // its rules are the store
    bool keepsWrites = true;
    // Returns an HRESULT other than 0 to make a call ("Add", "Remove", "Rename", "Read") fail with it.
    std::function<long(const std::string& function, const std::wstring& name)> fail;
    // Changes a rule as the store hands it back.
    std::function<void(guard::firewall::Rule&)> alterReadBack;
    std::vector<std::wstring> calls;  // "Add NAME", "Remove NAME", "Rename NAME -> NEW", "Read NAME"

    std::vector<std::wstring> Of(const std::wstring& function) const;
    const guard::firewall::Rule* Find(const std::wstring& name) const;
    int Count(const std::wstring& name) const;
};

}  // namespace testkit
