// ListHomeConnections and the late-bound WMI query beneath it. The member is on no interface,
// so this program links the classes and calls it on an object made in-process; it loads no
// component module, and the classes take their type library from the program's own resource.
#include "component/classes.h"
#include "component/framework/class_factory.h"
#include "dialer/dialer.h"
#include "testbed/apartment.h"
#include "testbed/home_network.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using Names = std::vector<std::wstring>;

class HomeConnectionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(apartment_.entered(), S_OK);
        const auto& record = *component::FindClass(component::kModuleRecord, CLSID_QKDialer);
        ASSERT_EQ(dialer::Dialer::Create(record, nullptr, IID__QKDialer, object_.put_void()), S_OK);
    }

    Names List(const std::wstring& computer, bool lan) {
        return static_cast<dialer::Dialer*>(object_.get())->ListHomeConnections(computer, lan);
    }

    testbed::Apartment apartment_;
    base::ComPtr<_QKDialer> object_;
};

TEST_F(HomeConnectionsTest, TheLanConnectionsOrTheOthersOfTheNamedComputerInTheirOrder) {
    testbed::HomeNetworkStandIn network({{L"Local Area Connection", true},
                                         {L"Broadband", false},
                                         {L"Wireless", true},
                                         {L"VPN", false}});
    ASSERT_EQ(network.registered(), S_OK);
    EXPECT_EQ(List(L"office-pc", true), (Names{L"Local Area Connection", L"Wireless"}));
    EXPECT_EQ(network.moniker(), L"winmgmts:\\\\office-pc\\root\\microsoft\\homenet");
    EXPECT_EQ(network.query(), L"Select * from HNet_Connection");
    EXPECT_EQ(List(L".", false), (Names{L"Broadband", L"VPN"}));
}

TEST_F(HomeConnectionsTest, SystemWithoutTheHomeNetworkingNamespaceYieldsNoNamesQuietly) {
    EXPECT_TRUE(List(L".", true).empty());
    EXPECT_TRUE(List(L".", false).empty());
}

TEST(SelectNames, QueryKeepsTheObjectsWhoseFlagEqualsTheWantedValue) {
    testbed::Apartment apartment;
    ASSERT_EQ(apartment.entered(), S_OK);
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
