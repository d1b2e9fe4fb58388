// Both classes driven the way a script host drives them, through IDispatch alone (GetIDsOfNames
// and Invoke): every setting written and read back through Reload, a probe against the
// RasDial.exe stand-in, a literal and a malformed sweep, and a refused value. Run in a host that
// has loaded MinGW's unwinding runtime first (ZU_PRELOAD names it), it shows that a failure
// inside the module still comes back as an HRESULT instead of ending the process.
#include "testbed/automation.h"
#include "testbed/component.h"
#include "testbed/temp_path.h"

#include "ZUVezEradez3.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

using namespace testbed;

// The library named by ZU_PRELOAD, loaded before the component; none when it is not set.
void LoadPreloadedRuntime() {
    wchar_t path[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"ZU_PRELOAD", path, MAX_PATH) == 0) {
        return;
    }
    ASSERT_TRUE(LoadLibraryW(path)) << "cannot load " << std::string(path, path + wcslen(path));
    ASSERT_EQ(GetModuleHandleW(L"ZUVezEradez3.dll"), nullptr) << "the component came first";
}

base::ComPtr<IDispatch> Create(REFCLSID clsid) {
    base::ComPtr<IDispatch> object;
    EXPECT_EQ(CreateComponentObject(clsid, IID_IDispatch, object.put_void()), S_OK);
    return object;
}

void ExpectRefused(const CallOutcome& outcome, HRESULT expected) {
    EXPECT_EQ(outcome.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(outcome.scode, expected);
    EXPECT_FALSE(outcome.description.empty());
}

class ScriptHost : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        LoadPreloadedRuntime();
    }
    static void TearDownTestSuite() { CoUninitialize(); }
};

TEST_F(ScriptHost, DialerSettingsPutAndReadBackThroughReload) {
    base::ComPtr<IDispatch> dialer = Create(CLSID_QKDialer);
    ASSERT_TRUE(dialer);
    ScratchFile ini(L"host.ini");
    auto path = Arg(ini.path().c_str());
    ASSERT_EQ(Put(dialer.get(), L"IniFilename", &path).hr, S_OK);
    struct {
        const wchar_t* name;
        base::UniqueVariant value;
        const wchar_t* readBack;
    } settings[] = {
        {L"ADSL", Arg(L"Home Line"), L"Home Line"},
        {L"Uid", Arg(L" user01 "), L"user01"},
        {L"Password", Arg(L"p@ss word"), L"p@ss word"},
        {L"DelayDial", Arg(L"250"), L"250"},
        {L"DelayHangup", Arg(-5), L"0"},
    };
    for (auto& setting : settings) {
        EXPECT_EQ(Put(dialer.get(), setting.name, setting.value.get()).hr, S_OK) << setting.name;
    }
    ASSERT_EQ(Call(dialer.get(), L"Reload").hr, S_OK);
    for (auto& setting : settings) {
        CallOutcome read = Get(dialer.get(), setting.name);
        EXPECT_EQ(read.hr, S_OK) << setting.name;
        EXPECT_EQ(TextOf(read.result), setting.readBack) << setting.name;
    }
}

TEST_F(ScriptHost, RefusedValueIsAnErrorWithItsDescription) {
    base::ComPtr<IDispatch> dialer = Create(CLSID_QKDialer);
    ASSERT_TRUE(dialer);
    auto name = Arg(L"a\nb.ini");
    ExpectRefused(Put(dialer.get(), L"IniFilename", &name), E_INVALIDARG);
}

TEST_F(ScriptHost, ProbeAnswersFromTheTool) {
    // The stand-in's folder; Wine reuses process ids, so an earlier run's may be there.
    std::filesystem::path folder(TempPath(L"host-rasdial"));
    std::filesystem::remove_all(folder);
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    std::ofstream(folder / "rasdial.cfg") << "entry=Home Line\tuser01\tpass\n";
    std::ofstream(folder / "connected.txt") << "Home Line\n";
    SetEnvironmentVariableW(L"RASDIAL_SIM_DIR", folder.c_str());
    base::ComPtr<IDispatch> dialer = Create(CLSID_QKDialer);
    ASSERT_TRUE(dialer);
    auto connected = Arg(L"Home Line"), other = Arg(L"Office");
    CallOutcome yes = Call(dialer.get(), L"IsConnected", {&connected});
    CallOutcome no = Call(dialer.get(), L"IsConnected", {&other});
    EXPECT_EQ(yes.hr, S_OK) << std::string(yes.description.begin(), yes.description.end());
    EXPECT_EQ(yes.result.vt, VT_BOOL);
    EXPECT_EQ(yes.result.boolVal, VARIANT_TRUE);
    EXPECT_EQ(no.hr, S_OK);
    EXPECT_EQ(no.result.boolVal, VARIANT_FALSE);
    SetEnvironmentVariableW(L"RASDIAL_SIM_DIR", nullptr);
    std::filesystem::remove_all(folder);
}

TEST_F(ScriptHost, CacheSweepsLiteralAndRefusesAMalformedPattern) {
    base::ComPtr<IDispatch> cache = Create(CLSID_QKCache);
    ASSERT_TRUE(cache);
    auto type = Arg(1), literal = Arg(L"zu-script-host.invalid/"), plain = ArgBool(false);
    EXPECT_EQ(Call(cache.get(), L"DelCache", {&type, &literal, &plain}).hr, S_OK);
    auto malformed = Arg(L"("), regexp = ArgBool(true);
    CallOutcome refused = Call(cache.get(), L"DelCache", {&type, &malformed, &regexp});
    EXPECT_EQ(refused.hr, DISP_E_EXCEPTION);
    EXPECT_TRUE(FAILED(refused.scode));
    EXPECT_FALSE(refused.description.empty());
}

} // namespace
