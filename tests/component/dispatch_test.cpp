// Late binding and the call conventions, through the real module's class objects.
#include "testbed/component_test.h"

#include "ZUVezEradez3.h"

#include <utility>
#include <vector>

namespace {

using namespace testbed;
using base::ComPtr;

class DispatchTest : public ComponentTest {
protected:
    void SetUp() override {
        ComponentTest::SetUp();
        ini_ = TempPath(L".ini");
        dialer_ = CreateDispatch(CLSID_QKDialer);
        ASSERT_TRUE(dialer_);
        auto name = Arg(ini_.c_str());
        ASSERT_EQ(Put(dialer_.get(), L"IniFilename", &name).hr, S_OK);
    }
    void TearDown() override {
        dialer_.reset();
        ComponentTest::TearDown();
    }

    std::wstring ini_;
    ComPtr<IDispatch> dialer_;
};

TEST_F(DispatchTest, NamesMapInAnyLetterCase) {
    EXPECT_EQ(DispIdOf(dialer_.get(), L"rasredial"), 0x6003000D);
    EXPECT_EQ(DispIdOf(dialer_.get(), L"RASREDIAL"), 0x6003000D);
    EXPECT_EQ(DispIdOf(dialer_.get(), L"IniFilename"), 0x68030005);
    EXPECT_EQ(DispIdOf(dialer_.get(), L"delayhangup"), 0x68030000);
}

// Each class's own internal members and fields are out of reach of late binding.
TEST_F(DispatchTest, InternalMembersAndParametersAreUnknownOrPositional) {
    ComPtr<IDispatch> cache = CreateDispatch(CLSID_QKCache);
    ASSERT_TRUE(cache);
    const std::pair<IDispatch*, std::vector<const wchar_t*>> internals[] = {
        {dialer_.get(), {L"ListHomeConnections", L"TempFile", L"NoSuchMember"}},
        {cache.get(), {L"ListEntries", L"PtrToString", L"DeleteEntry", L"NoSuchMember"}},
    };
    for (const auto& [object, members] : internals) {
        for (const wchar_t* name : members) {
            DISPID id = 0;
            LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
            EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME)
                << name;
        }
    }
    DISPID ids[3] = {};
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"RasDial"), const_cast<LPOLESTR>(L"strPassword"),
                        const_cast<LPOLESTR>(L"STRADSL")};
    ASSERT_EQ(dialer_->GetIDsOfNames(IID_NULL, names, 3, 0, ids), S_OK);
    EXPECT_EQ(ids[0], 0x6003000A);
    EXPECT_EQ(ids[1], 2);
    EXPECT_EQ(ids[2], 0);
}

TEST_F(DispatchTest, TypeInformationIsTheDefaultInterface) {
    UINT count = 0;
    EXPECT_EQ(dialer_->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(dialer_->GetTypeInfo(0, 0, info.put()), S_OK);
    base::UniqueTypeAttr attr(info.get());
    ASSERT_EQ(info->GetTypeAttr(attr.put()), S_OK);
    EXPECT_EQ(attr->guid, IID__QKDialer);
    EXPECT_EQ(dialer_->GetTypeInfo(1, 0, info.put()), DISP_E_BADINDEX);
}

TEST_F(DispatchTest, PropertyPutConvertsTextToLong) {
    auto text = Arg(L"250");
    EXPECT_EQ(Put(dialer_.get(), L"DelayDial", &text).hr, S_OK);
    auto got = Get(dialer_.get(), L"DelayDial");
    ASSERT_EQ(got.hr, S_OK);
    EXPECT_EQ(got.result.vt, VT_I4);
    EXPECT_EQ(got.result.lVal, 250);
}

TEST_F(DispatchTest, TextThatIsNoNumberIsATypeMismatchAndTheSetterDoesNotRun) {
    auto text = Arg(L"abc");
    EXPECT_EQ(Put(dialer_.get(), L"DelayDial", &text).hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Get(dialer_.get(), L"DelayDial").result.lVal, 100);
    EXPECT_EQ(GetFileAttributesW(ini_.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(DispatchTest, MissingRequiredArgumentIsNotOptional) {
    EXPECT_EQ(Call(dialer_.get(), L"IsConnected").hr, DISP_E_PARAMNOTOPTIONAL);
    base::UniqueVariant missing;
    missing.vt = VT_ERROR;
    missing.scode = DISP_E_PARAMNOTFOUND;
    EXPECT_EQ(Call(dialer_.get(), L"IsConnected", {&missing}).hr, DISP_E_PARAMNOTOPTIONAL);
}

// Counts and pointers that disagree reach Invoke from careless or hostile callers; they are
// refused before any argument is read.
TEST_F(DispatchTest, MalformedDispParamsAreInvalidArguments) {
    DISPID isConnected = DispIdOf(dialer_.get(), L"IsConnected");
    base::UniqueVariant name, result;
    DISPID named = 0;
    DISPPARAMS namedWithoutArguments{nullptr, &named, 0, 1};
    DISPPARAMS moreNamedThanArguments{&name, &named, 1, 2};
    DISPPARAMS countWithoutArray{nullptr, nullptr, 1, 0};
    DISPPARAMS namedCountWithoutNames{&name, nullptr, 1, 1};
    for (DISPPARAMS* params : {&namedWithoutArguments, &moreNamedThanArguments, &countWithoutArray,
                               &namedCountWithoutNames, static_cast<DISPPARAMS*>(nullptr)}) {
        EXPECT_EQ(dialer_->Invoke(isConnected, IID_NULL, 0, DISPATCH_METHOD, params, &result,
                                  nullptr, nullptr),
                  E_INVALIDARG);
    }
}

TEST_F(DispatchTest, UnknownDispIdIsMemberNotFound) {
    DISPPARAMS none{};
    base::UniqueVariant result;
    EXPECT_EQ(
        dialer_->Invoke(0x12345, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr),
        DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(
        dialer_->Invoke(0, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr),
        DISP_E_MEMBERNOTFOUND);
}

TEST_F(DispatchTest, FailingMemberIsAnExceptionCarryingItsHresultAndDescription) {
    auto bad = Arg(L"line\nbreak");
    auto outcome = Put(dialer_.get(), L"ADSL", &bad);
    EXPECT_EQ(outcome.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(outcome.scode, E_INVALIDARG);
    EXPECT_NE(outcome.description.find(L"ADSL"), std::wstring::npos) << outcome.description;
    EXPECT_EQ(outcome.source, L"ZUVezEradez3.QKDialer");
}

TEST_F(DispatchTest, OmittedOptionalArgumentsGetTheirDefaults) {
    // RasHangup with no argument and no stored entry answers False without running anything.
    auto outcome = Call(dialer_.get(), L"RasHangup");
    ASSERT_EQ(outcome.hr, S_OK);
    EXPECT_EQ(outcome.result.vt, VT_BOOL);
    EXPECT_EQ(outcome.result.boolVal, VARIANT_FALSE);
}

TEST_F(DispatchTest, VtableAndDispatchReachTheSameMember) {
    ComPtr<_QKDialer> early;
    ASSERT_EQ(dialer_.query(early), S_OK);
    ASSERT_EQ(early->put_DelayHangup(1234), S_OK);
    EXPECT_EQ(Get(dialer_.get(), L"DelayHangup").result.lVal, 1234);
    auto value = Arg(L"  Entry  ");
    ASSERT_EQ(Put(dialer_.get(), L"Uid", &value).hr, S_OK);
    base::UniqueBstr uid;
    ASSERT_EQ(early->get_Uid(uid.put()), S_OK);
    EXPECT_EQ(uid.str(), L"Entry");
}

TEST_F(DispatchTest, NullBstrIsTheEmptyText) {
    ComPtr<_QKDialer> early;
    ASSERT_EQ(dialer_.query(early), S_OK);
    ASSERT_EQ(early->put_Password(nullptr), S_OK);
    base::UniqueBstr password;
    ASSERT_EQ(early->get_Password(password.put()), S_OK);
    EXPECT_EQ(password.str(), L"");
}

TEST_F(DispatchTest, FailingMemberStillWritesItsResult) {
    ComPtr<_QKDialer> early;
    ASSERT_EQ(dialer_.query(early), S_OK);
    VARIANT_BOOL result = 7;
    base::UniqueBstr name(std::wstring(L"x\0(", 3));
    EXPECT_EQ(early->IsConnected(name.get(), &result), E_INVALIDARG);
    EXPECT_EQ(result, VARIANT_FALSE);
    // A refused setting loses nothing: the stored value stays.
    ASSERT_EQ(early->put_ADSL(base::UniqueBstr(L"Entry").get()), S_OK);
    base::UniqueBstr bad(L"a\nb");
    EXPECT_EQ(early->put_ADSL(bad.get()), E_INVALIDARG);
    base::UniqueBstr text;
    EXPECT_EQ(early->get_ADSL(text.put()), S_OK);
    EXPECT_EQ(text.str(), L"Entry");
}

TEST_F(DispatchTest, FailureIsReportedThroughErrorInfo) {
    ComPtr<_QKDialer> early;
    ASSERT_EQ(dialer_.query(early), S_OK);
    ComPtr<ISupportErrorInfo> support;
    ASSERT_EQ(dialer_.query(support), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID__QKDialer), S_OK);
    base::UniqueBstr bad(std::wstring(L"a\0b", 3));
    ASSERT_EQ(early->put_Uid(bad.get()), E_INVALIDARG);
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, info.put()), S_OK);
    base::UniqueBstr description, source;
    info->GetDescription(description.put());
    info->GetSource(source.put());
    EXPECT_NE(description.str().find(L"Uid"), std::wstring::npos);
    EXPECT_EQ(source.str(), L"ZUVezEradez3.QKDialer");
    // A member that succeeds leaves no stale information behind.
    ASSERT_EQ(early->put_Uid(nullptr), S_OK);
    EXPECT_EQ(GetErrorInfo(0, info.put()), S_FALSE);
}

} // namespace
