// The type library embedded in the module, read back as a host reads it.
#include "testbed/component_test.h"

#include "ZUVezEradez3.h"

#include <string>
#include <vector>

namespace {

using base::ComPtr;
using testbed::ComponentModule;
using testbed::ComponentTest;

struct Param {
    std::wstring name; // empty: no name stored
    VARTYPE vt;
    USHORT flags;
    std::wstring defaultValue; // as text; empty when none
};

struct Member {
    const wchar_t* name;
    INVOKEKIND kind;
    MEMBERID id;
    std::vector<Param> params;
    VARTYPE result; // of the vtable half, always HRESULT; the [retval] type is the last param
};

constexpr USHORT kIn = PARAMFLAG_FIN;
constexpr USHORT kOptIn = PARAMFLAG_FIN | PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT;
// A dual interface as published (its dispatch half) and as its vtable half; the loader
// reports the automation flag on the vtable half only.
constexpr WORD kDualDispatchFlags =
    TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE;
constexpr WORD kDualVtableFlags = kDualDispatchFlags | TYPEFLAG_FOLEAUTOMATION;
constexpr USHORT kRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;

std::vector<Member> DialerMembers() {
    auto property = [](const wchar_t* name, MEMBERID id, VARTYPE vt) {
        return std::vector<Member>{
            {name, INVOKE_PROPERTYPUT, id, {{L"", vt, kIn, L""}}, VT_HRESULT},
            {name, INVOKE_PROPERTYGET, id, {{L"", VT_PTR, kRetval, L""}}, VT_HRESULT}};
    };
    std::vector<Member> members;
    for (auto [name, id, vt] : {std::tuple{L"IniFilename", 0x68030005, VT_BSTR},
                                {L"ADSL", 0x68030004, VT_BSTR},
                                {L"Uid", 0x68030003, VT_BSTR},
                                {L"Password", 0x68030002, VT_BSTR},
                                {L"DelayDial", 0x68030001, VT_I4},
                                {L"DelayHangup", 0x68030000, VT_I4}}) {
        for (auto& m : property(name, id, static_cast<VARTYPE>(vt))) {
            members.push_back(m);
        }
    }
    Param adsl{L"strADSL", VT_BSTR, kOptIn, L""}, uid{L"strUid", VT_BSTR, kOptIn, L""},
        password{L"strPassword", VT_BSTR, kOptIn, L""}, result{L"", VT_PTR, kRetval, L""};
    members.push_back({L"Reload", INVOKE_FUNC, 0x60030008, {}, VT_HRESULT});
    members.push_back(
        {L"RasDial", INVOKE_FUNC, 0x6003000A, {adsl, uid, password, result}, VT_HRESULT});
    members.push_back({L"RasHangup", INVOKE_FUNC, 0x6003000B, {adsl, result}, VT_HRESULT});
    members.push_back({L"IsConnected",
                       INVOKE_FUNC,
                       0x6003000C,
                       {{L"strADSL", VT_BSTR, kIn, L""}, result},
                       VT_HRESULT});
    members.push_back(
        {L"RasRedial", INVOKE_FUNC, 0x6003000D, {adsl, uid, password, result}, VT_HRESULT});
    return members;
}

// A default value as text, after conversion to its parameter's type (VT_BOOL gives "False").
std::wstring Text(const VARIANT& value, VARTYPE type) {
    base::UniqueVariant typed, text;
    VARTYPE target = type == VT_USERDEFINED ? static_cast<VARTYPE>(VT_I4) : type;
    if (FAILED(VariantChangeType(&typed, const_cast<VARIANT*>(&value), 0, target)) ||
        FAILED(VariantChangeType(&text, &typed, 0, VT_BSTR))) {
        return L"?";
    }
    return std::wstring(base::BstrView(text.bstrVal));
}

class TypeLibTest : public ComponentTest {
protected:
    void SetUp() override {
        ComponentTest::SetUp();
        wchar_t path[MAX_PATH];
        GetModuleFileNameW(ComponentModule(), path, MAX_PATH);
        ASSERT_EQ(LoadTypeLibEx(path, REGKIND_NONE, lib_.put()), S_OK);
    }
    void TearDown() override {
        lib_.reset();
        ComponentTest::TearDown();
    }

    ComPtr<ITypeInfo> Info(UINT index) {
        ComPtr<ITypeInfo> info;
        EXPECT_EQ(lib_->GetTypeInfo(index, info.put()), S_OK);
        return info;
    }

    static TYPEATTR Attr(ITypeInfo* info) {
        base::UniqueTypeAttr attr(info);
        EXPECT_EQ(info->GetTypeAttr(attr.put()), S_OK);
        return *attr.get();
    }

    static std::wstring Doc(ITypeInfo* info, MEMBERID id, bool helpString) {
        base::UniqueBstr name, doc;
        DWORD context = 0;
        info->GetDocumentation(id, name.put(), doc.put(), &context, nullptr);
        EXPECT_EQ(context, 0u);
        return helpString ? doc.str() : name.str();
    }

    // The vtable half of a dual interface.
    static ComPtr<ITypeInfo> VtableHalf(ITypeInfo* dispatch) {
        HREFTYPE ref = 0;
        EXPECT_EQ(dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref), S_OK);
        ComPtr<ITypeInfo> vtable;
        EXPECT_EQ(dispatch->GetRefTypeInfo(ref, vtable.put()), S_OK);
        return vtable;
    }

    void ExpectMembers(ITypeInfo* vtable, const std::vector<Member>& expected) {
        TYPEATTR attr = Attr(vtable);
        ASSERT_EQ(attr.typekind, TKIND_INTERFACE);
        EXPECT_EQ(attr.wTypeFlags, kDualVtableFlags);
        ASSERT_EQ(attr.cFuncs, expected.size());
        ASSERT_EQ(attr.cbSizeVft, (7 + expected.size()) * sizeof(void*));
        for (UINT i = 0; i < expected.size(); ++i) {
            const Member& want = expected[i];
            base::UniqueFuncDesc f(vtable);
            ASSERT_EQ(vtable->GetFuncDesc(i, f.put()), S_OK);
            SCOPED_TRACE(want.name);
            EXPECT_EQ(Doc(vtable, f->memid, false), want.name);
            EXPECT_EQ(f->memid, want.id);
            EXPECT_EQ(f->invkind, want.kind);
            EXPECT_EQ(f->oVft, static_cast<SHORT>((7 + i) * sizeof(void*))) << "slot " << 7 + i;
            EXPECT_EQ(f->funckind, FUNC_PUREVIRTUAL);
            EXPECT_EQ(f->callconv, CC_STDCALL);
            EXPECT_EQ(f->wFuncFlags, 0);
            EXPECT_EQ(f->elemdescFunc.tdesc.vt, VT_HRESULT);
            ASSERT_EQ(static_cast<size_t>(f->cParams), want.params.size());
            std::vector<BSTR> names(want.params.size() + 1, nullptr);
            base::ScopeExit freeNames([&] {
                for (BSTR n : names) {
                    SysFreeString(n);
                }
            });
            UINT count = 0;
            vtable->GetNames(f->memid, names.data(), static_cast<UINT>(names.size()), &count);
            for (UINT p = 0; p < want.params.size(); ++p) {
                const ELEMDESC& e = f->lprgelemdescParam[p];
                EXPECT_EQ(e.tdesc.vt, want.params[p].vt) << "param " << p;
                EXPECT_EQ(e.paramdesc.wParamFlags, want.params[p].flags) << "param " << p;
                if (want.kind == INVOKE_FUNC) {
                    std::wstring name = p + 1 < count ? names[p + 1] : L"";
                    EXPECT_EQ(name, want.params[p].name) << "param " << p;
                }
                if (e.paramdesc.wParamFlags & PARAMFLAG_FHASDEFAULT) {
                    EXPECT_EQ(Text(e.paramdesc.pparamdescex->varDefaultValue, e.tdesc.vt),
                              want.params[p].defaultValue);
                }
            }
            if (want.kind != INVOKE_FUNC) {
                EXPECT_EQ(count, 1u) << "property parameters carry no name";
            }
        }
    }

    ComPtr<ITypeLib> lib_;
};

TEST_F(TypeLibTest, LibraryAttributes) {
    base::UniqueTLibAttr attr(lib_.get());
    ASSERT_EQ(lib_->GetLibAttr(attr.put()), S_OK);
    EXPECT_EQ(attr->guid, LIBID_ZUVezEradez3);
    EXPECT_EQ(attr->lcid, 0u);
    EXPECT_EQ(attr->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    // The loader marks every library read from a file with FHASDISKIMAGE; nothing else is set.
    EXPECT_EQ(attr->wLibFlags & ~LIBFLAG_FHASDISKIMAGE, 0);
    base::UniqueBstr name, doc, helpFile;
    DWORD context = 0;
    ASSERT_EQ(lib_->GetDocumentation(-1, name.put(), doc.put(), &context, helpFile.put()), S_OK);
    EXPECT_EQ(name.str(), L"ZUVezEradez3");
    EXPECT_EQ(doc.str(), L"");
    EXPECT_EQ(helpFile.str(), L"");
    EXPECT_EQ(context, 0u);
}

TEST_F(TypeLibTest, FiveTypesInPublishedOrder) {
    struct Expected {
        const wchar_t* name;
        TYPEKIND kind;
        GUID guid;
        WORD flags;
    } expected[] = {
        {L"_QKDialer", TKIND_DISPATCH, IID__QKDialer, kDualDispatchFlags},
        {L"QKDialer", TKIND_COCLASS, CLSID_QKDialer, TYPEFLAG_FCANCREATE},
        {L"_QKCache", TKIND_DISPATCH, IID__QKCache, kDualDispatchFlags},
        {L"QKCache", TKIND_COCLASS, CLSID_QKCache, TYPEFLAG_FCANCREATE},
        {L"QKCACHE_TYPE",
         TKIND_ENUM,
         {0x116E5E85, 0x53A9, 0x4283, {0xBA, 0x07, 0x17, 0x27, 0x23, 0x25, 0xC9, 0x79}},
         0},
    };
    ASSERT_EQ(lib_->GetTypeInfoCount(), 5u);
    for (UINT i = 0; i < 5; ++i) {
        ComPtr<ITypeInfo> info = Info(i);
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(Doc(info.get(), MEMBERID_NIL, false), expected[i].name);
        EXPECT_EQ(Doc(info.get(), MEMBERID_NIL, true), L"");
        TYPEATTR attr = Attr(info.get());
        EXPECT_EQ(attr.typekind, expected[i].kind);
        EXPECT_EQ(attr.guid, expected[i].guid);
        EXPECT_EQ(attr.wTypeFlags, expected[i].flags);
        EXPECT_EQ(attr.wMajorVerNum, 1);
        EXPECT_EQ(attr.wMinorVerNum, 0);
        EXPECT_EQ(attr.lcid, 0u);
    }
}

TEST_F(TypeLibTest, ClassesImplementOnlyTheirDefaultInterface) {
    for (auto [index, iid] : {std::pair{1u, IID__QKDialer}, std::pair{3u, IID__QKCache}}) {
        ComPtr<ITypeInfo> cls = Info(index);
        ASSERT_EQ(Attr(cls.get()).cImplTypes, 1);
        INT flags = 0;
        EXPECT_EQ(cls->GetImplTypeFlags(0, &flags), S_OK);
        EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
        HREFTYPE ref = 0;
        ASSERT_EQ(cls->GetRefTypeOfImplType(0, &ref), S_OK);
        ComPtr<ITypeInfo> itf;
        ASSERT_EQ(cls->GetRefTypeInfo(ref, itf.put()), S_OK);
        EXPECT_EQ(Attr(itf.get()).guid, iid);
    }
}

TEST_F(TypeLibTest, InterfacesDeriveFromIDispatch) {
    for (UINT index : {0u, 2u}) {
        ComPtr<ITypeInfo> vtable = VtableHalf(Info(index).get());
        HREFTYPE ref = 0;
        ASSERT_EQ(vtable->GetRefTypeOfImplType(0, &ref), S_OK);
        ComPtr<ITypeInfo> base;
        ASSERT_EQ(vtable->GetRefTypeInfo(ref, base.put()), S_OK);
        EXPECT_EQ(Attr(base.get()).guid, IID_IDispatch);
        // IDispatch comes from the standard OLE automation library, stdole2 2.0.
        ComPtr<ITypeLib> stdole;
        UINT index = 0;
        ASSERT_EQ(base->GetContainingTypeLib(stdole.put(), &index), S_OK);
        base::UniqueTLibAttr attr(stdole.get());
        ASSERT_EQ(stdole->GetLibAttr(attr.put()), S_OK);
        const GUID kStdOle = {0x00020430, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
        EXPECT_EQ(attr->guid, kStdOle);
        EXPECT_EQ(attr->wMajorVerNum, 2);
    }
}

TEST_F(TypeLibTest, DialerMembersInSlotOrder) {
    ExpectMembers(VtableHalf(Info(0).get()).get(), DialerMembers());
}

TEST_F(TypeLibTest, CacheMember) {
    ComPtr<ITypeInfo> vtable = VtableHalf(Info(2).get());
    ExpectMembers(vtable.get(), {{L"DelCache",
                                  INVOKE_FUNC,
                                  0x60030005,
                                  {{L"eType", VT_USERDEFINED, kOptIn, L"1"},
                                   {L"strURLPattern", VT_BSTR, kOptIn, L""},
                                   {L"bRegExp", VT_BOOL, kOptIn, L"0"}},
                                  VT_HRESULT}});
    base::UniqueFuncDesc f(vtable.get());
    ASSERT_EQ(vtable->GetFuncDesc(0, f.put()), S_OK);
    ComPtr<ITypeInfo> enumeration;
    EXPECT_EQ(vtable->GetRefTypeInfo(f->lprgelemdescParam[0].tdesc.hreftype, enumeration.put()),
              S_OK);
    EXPECT_EQ(Doc(enumeration.get(), MEMBERID_NIL, false), L"QKCACHE_TYPE");
    EXPECT_EQ(f->lprgelemdescParam[0].paramdesc.pparamdescex->varDefaultValue.vt, VT_I4);
}

TEST_F(TypeLibTest, EnumerationConstants) {
    ComPtr<ITypeInfo> info = Info(4);
    TYPEATTR attr = Attr(info.get());
    EXPECT_EQ(attr.cbSizeInstance, 4u);
    EXPECT_EQ(attr.cbAlignment, 4);
    const std::pair<const wchar_t*, LONG> expected[] = {
        {L"CACHE_NORMAL", 1},
        {L"CACHE_EDITED", 8},
        {L"CACHE_TRACK_OFFLINE", 16},
        {L"CACHE_TRACK_ONLINE", 32},
        {L"CACHE_STICKY", 64},
        {L"CACHE_SPARSE", 65536},
        {L"CACHE_COOKIE", 1048576},
        {L"CACHE_URL_HISTORY", 2097152},
        {L"CACHE_URL_FIND_DEFAULT_FILTER", 0},
    };
    ASSERT_EQ(attr.cVars, 9);
    for (UINT i = 0; i < 9; ++i) {
        base::UniqueVarDesc v(info.get());
        ASSERT_EQ(info->GetVarDesc(i, v.put()), S_OK);
        EXPECT_EQ(v->memid, static_cast<MEMBERID>(0x40000000 + i));
        EXPECT_EQ(v->varkind, VAR_CONST);
        EXPECT_EQ(Doc(info.get(), v->memid, false), expected[i].first);
        EXPECT_EQ(Doc(info.get(), v->memid, true), expected[i].first);
        EXPECT_EQ(v->lpvarValue->vt, VT_I4);
        EXPECT_EQ(v->lpvarValue->lVal, expected[i].second);
    }
}

} // namespace
