// ListHomeConnections and the late-bound WMI query beneath it. The member is on no interface,
// so this test links the dialer library and calls it on an object made in-process, with the
// type library taken from the built module.
#include "component/classes.h"
#include "component/framework/class_factory.h"
#include "component/framework/module.h"
#include "dialer/dialer.h"
#include "tests/support/component.h"

#include <algorithm>

namespace {

using testing_support::ComponentModule;
using testing_support::ComponentTest;
using HomeConnectionsTest = ComponentTest;

TEST_F(HomeConnectionsTest, SystemWithoutTheHomeNetworkingNamespaceYieldsNoNamesQuietly) {
    component::SetModuleHandle(ComponentModule());
    base::ComPtr<_QKDialer> object;
    const auto& record = *component::FindClass(component::kModuleRecord, CLSID_QKDialer);
    ASSERT_EQ(dialer::Dialer::Create(record, nullptr, IID__QKDialer, object.put_void()), S_OK);
    auto* dialer = static_cast<dialer::Dialer*>(object.get());
    EXPECT_TRUE(dialer->ListHomeConnections(L".", true).empty());
    EXPECT_TRUE(dialer->ListHomeConnections(L".", false).empty());
}

TEST_F(HomeConnectionsTest, QueryKeepsTheObjectsWhoseFlagEqualsTheWantedValue) {
    const wchar_t* cimv2 = L"winmgmts:\\\\.\\root\\cimv2";
    const wchar_t* services = L"Select * from Win32_Service";
    auto stoppable = dialer::SelectNames(cimv2, services, L"AcceptStop", true);
    auto others = dialer::SelectNames(cimv2, services, L"AcceptStop", false);
    EXPECT_FALSE(stoppable.empty());
    EXPECT_FALSE(others.empty());
    for (const auto& name : stoppable) {
        EXPECT_EQ(std::count(others.begin(), others.end(), name), 0) << name.c_str();
    }
    // The flag splits the services: the RPC service, which every system runs, is in one list,
    // and the list of those that accept a stop is the one that WMI's own filter gives.
    EXPECT_EQ(std::count(stoppable.begin(), stoppable.end(), L"RpcSs") +
                  std::count(others.begin(), others.end(), L"RpcSs"),
              1);
    EXPECT_EQ(dialer::SelectNames(cimv2, L"Select * from Win32_Service where AcceptStop = TRUE",
                                  L"AcceptStop", true),
              stoppable);
    // A property that the objects lack ends the listing at the first one, without an error.
    EXPECT_TRUE(dialer::SelectNames(cimv2, services, L"NoSuchProperty", true).empty());
}

} // namespace
