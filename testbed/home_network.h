// A stand-in for WMI's home-networking namespace, which Wine lacks. While the owner lives, the
// "winmgmts:" monikers of its thread's apartment bind to a namespace whose every query returns
// the given connections as objects with the properties Name and IsLANConnection; the owner
// keeps the moniker and the query that it was last given, so a test sees what was asked.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace testbed {

struct HomeConnection {
    std::wstring name;
    bool lan = false;
};

class HomeNetworkStandIn {
public:
    explicit HomeNetworkStandIn(std::vector<HomeConnection> connections);
    HomeNetworkStandIn(const HomeNetworkStandIn&) = delete;
    HomeNetworkStandIn& operator=(const HomeNetworkStandIn&) = delete;
    ~HomeNetworkStandIn();

    // S_OK when the stand-in took the place of the "winmgmts" class, or why it could not.
    HRESULT registered() const { return registered_; }

    // The moniker and the query last given; empty while none was.
    std::wstring moniker() const;
    std::wstring query() const;

    struct Seen;

private:
    std::shared_ptr<Seen> seen_;
    HRESULT registered_ = E_FAIL;
    DWORD cookie_ = 0;
};

} // namespace testbed
