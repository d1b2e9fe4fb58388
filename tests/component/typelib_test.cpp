// The type library embedded in the module, read back as a host reads it and held to the library
// that widl compiled from the IDL: the finished library keeps everything widl wrote, in the
// published order, and adds what widl cannot express.
#include "testbed/component_test.h"

#include "component/typelib/typelib_file.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

namespace {

using base::ComPtr;
using testbed::ComponentModule;
using testbed::ComponentTest;

ComPtr<ITypeLib> LoadTypeLibrary(const wchar_t* path) {
    ComPtr<ITypeLib> lib;
    EXPECT_EQ(LoadTypeLibEx(path, REGKIND_NONE, lib.put()), S_OK) << path;
    return lib;
}

TYPEATTR Attributes(ITypeInfo* info) {
    base::UniqueTypeAttr attr(info);
    EXPECT_EQ(info->GetTypeAttr(attr.put()), S_OK);
    return *attr.get();
}

std::wstring Name(ITypeInfo* info, MEMBERID id = MEMBERID_NIL) {
    base::UniqueBstr name;
    EXPECT_EQ(info->GetDocumentation(id, name.put(), nullptr, nullptr, nullptr), S_OK);
    return name.str();
}

std::wstring HelpString(ITypeInfo* info, MEMBERID id = MEMBERID_NIL) {
    base::UniqueBstr doc;
    EXPECT_EQ(info->GetDocumentation(id, nullptr, doc.put(), nullptr, nullptr), S_OK);
    return doc.str();
}

// The vtable half of a dual interface; any other type as it stands.
ComPtr<ITypeInfo> VtableHalf(ITypeInfo* info) {
    TYPEATTR attr = Attributes(info);
    if (attr.typekind != TKIND_DISPATCH || !(attr.wTypeFlags & TYPEFLAG_FDUAL)) {
        return ComPtr<ITypeInfo>(info);
    }
    HREFTYPE ref = 0;
    EXPECT_EQ(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref), S_OK);
    ComPtr<ITypeInfo> vtable;
    EXPECT_EQ(info->GetRefTypeInfo(ref, vtable.put()), S_OK);
    return vtable;
}

// The parameters of a member that a caller can name: a method's, up to its first [retval] one;
// a property accessor has none.
UINT NamedParameters(const FUNCDESC& func) {
    UINT named = 0;
    while (func.invkind == INVOKE_FUNC && named < static_cast<UINT>(func.cParams) &&
           !(func.lprgelemdescParam[named].paramdesc.wParamFlags & PARAMFLAG_FRETVAL)) {
        ++named;
    }
    return named;
}

std::wstring Hex(unsigned long value) {
    wchar_t text[16];
    swprintf(text, 16, L"%lx", value);
    return text;
}

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

std::wstring ValueText(const VARIANT& value) {
    base::UniqueVariant text;
    if (FAILED(VariantChangeType(&text, const_cast<VARIANT*>(&value), 0, VT_BSTR))) {
        return L"vt " + Hex(value.vt);
    }
    return L"vt " + Hex(value.vt) + L" " + std::wstring(base::BstrView(text.bstrVal));
}

std::wstring TypeText(ITypeInfo* info, const TYPEDESC& desc) {
    std::wstring text = Hex(desc.vt);
    if (desc.vt == VT_USERDEFINED) {
        ComPtr<ITypeInfo> referenced;
        EXPECT_EQ(info->GetRefTypeInfo(desc.hreftype, referenced.put()), S_OK);
        text += L" " + Name(referenced.get());
    } else if ((desc.vt == VT_PTR || desc.vt == VT_SAFEARRAY) && desc.lptdesc) {
        text += L" of " + TypeText(info, *desc.lptdesc);
    }
    return text;
}

// One type as text, a line per attribute, implemented interface, member and parameter: all
// that the finished library keeps as widl wrote it. Left out are the help strings of
// enumeration constants and the names of parameters that no caller names.
void Describe(ITypeInfo* info, std::vector<std::wstring>& lines) {
    TYPEATTR attr = Attributes(info);
    lines.push_back(Name(info) + L" kind " + Hex(attr.typekind) + L" " + GuidText(attr.guid) +
                    L" flags " + Hex(attr.wTypeFlags) + L" version " + Hex(attr.wMajorVerNum) +
                    L"." + Hex(attr.wMinorVerNum) + L" lcid " + Hex(attr.lcid) + L" vtable " +
                    Hex(attr.cbSizeVft) + L" help '" + HelpString(info) + L"'");
    for (UINT i = 0; i < attr.cImplTypes; ++i) {
        HREFTYPE ref = 0;
        INT flags = 0;
        ComPtr<ITypeInfo> implemented;
        EXPECT_EQ(info->GetRefTypeOfImplType(i, &ref), S_OK);
        EXPECT_EQ(info->GetRefTypeInfo(ref, implemented.put()), S_OK);
        if (attr.typekind == TKIND_COCLASS) {
            EXPECT_EQ(info->GetImplTypeFlags(i, &flags), S_OK);
        }
        lines.push_back(L"  implements " + Name(implemented.get()) + L" " +
                        GuidText(Attributes(implemented.get()).guid) + L" flags " + Hex(flags));
    }
    for (UINT i = 0; i < attr.cFuncs; ++i) {
        base::UniqueFuncDesc func(info);
        EXPECT_EQ(info->GetFuncDesc(i, func.put()), S_OK);
        base::UniqueBstrArray names(static_cast<size_t>(func->cParams) + 1);
        UINT count = 0;
        EXPECT_EQ(info->GetNames(func->memid, names.put(), static_cast<UINT>(names.size()), &count),
                  S_OK);
        lines.push_back(L"  " + std::wstring(base::BstrView(names[0])) + L" id " +
                        Hex(static_cast<unsigned long>(func->memid)) + L" invoke " +
                        Hex(func->invkind) + L" kind " + Hex(func->funckind) + L" call " +
                        Hex(func->callconv) + L" flags " + Hex(func->wFuncFlags) + L" slot " +
                        Hex(static_cast<USHORT>(func->oVft)) + L" optional " +
                        Hex(static_cast<USHORT>(func->cParamsOpt)) + L" result " +
                        TypeText(info, func->elemdescFunc.tdesc));
        for (UINT p = 0; p < static_cast<UINT>(func->cParams); ++p) {
            const ELEMDESC& param = func->lprgelemdescParam[p];
            std::wstring line = L"    " + TypeText(info, param.tdesc) + L" flags " +
                                Hex(param.paramdesc.wParamFlags);
            if (p < NamedParameters(*func.get())) {
                line += L" " + std::wstring(base::BstrView(p + 1 < count ? names[p + 1] : nullptr));
            }
            if (param.paramdesc.wParamFlags & PARAMFLAG_FHASDEFAULT) {
                line += L" default " + ValueText(param.paramdesc.pparamdescex->varDefaultValue);
            }
            lines.push_back(line);
        }
    }
    for (UINT i = 0; i < attr.cVars; ++i) {
        base::UniqueVarDesc var(info);
        EXPECT_EQ(info->GetVarDesc(i, var.put()), S_OK);
        std::wstring line = L"  " + Name(info, var->memid) + L" id " +
                            Hex(static_cast<unsigned long>(var->memid)) + L" kind " +
                            Hex(var->varkind) + L" type " + TypeText(info, var->elemdescVar.tdesc);
        if (var->varkind == VAR_CONST) {
            line += L" value " + ValueText(*var->lpvarValue);
        }
        lines.push_back(line);
    }
}

// Every type of the library by name, each with its vtable half where it is dual; a line each.
std::wstring Describe(ITypeLib* lib) {
    std::vector<std::wstring> lines;
    base::UniqueTLibAttr attr(lib);
    EXPECT_EQ(lib->GetLibAttr(attr.put()), S_OK);
    base::UniqueBstr name, doc, helpFile;
    DWORD context = 0;
    EXPECT_EQ(lib->GetDocumentation(-1, name.put(), doc.put(), &context, helpFile.put()), S_OK);
    lines.push_back(name.str() + L" " + GuidText(attr->guid) + L" lcid " + Hex(attr->lcid) +
                    L" system " + Hex(attr->syskind) + L" version " + Hex(attr->wMajorVerNum) +
                    L"." + Hex(attr->wMinorVerNum) + L" flags " +
                    Hex(attr->wLibFlags & ~LIBFLAG_FHASDISKIMAGE) + L" help '" + doc.str() +
                    L"' '" + helpFile.str() + L"' " + Hex(context));
    std::vector<std::vector<std::wstring>> types;
    for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
        ComPtr<ITypeInfo> info;
        EXPECT_EQ(lib->GetTypeInfo(i, info.put()), S_OK);
        std::vector<std::wstring> type;
        Describe(info.get(), type);
        ComPtr<ITypeInfo> vtable = VtableHalf(info.get());
        if (vtable.get() != info.get()) {
            Describe(vtable.get(), type);
        }
        types.push_back(type);
    }
    std::sort(types.begin(), types.end());
    for (const auto& type : types) {
        lines.insert(lines.end(), type.begin(), type.end());
    }
    std::wstring text;
    for (const auto& line : lines) {
        text += line + L"\n";
    }
    return text;
}

class TypeLibTest : public ComponentTest {
protected:
    void SetUp() override {
        ComponentTest::SetUp();
        wchar_t path[MAX_PATH];
        GetModuleFileNameW(ComponentModule(), path, MAX_PATH);
        lib_ = LoadTypeLibrary(path);
        ASSERT_TRUE(lib_);
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

    ComPtr<ITypeLib> lib_;
};

TEST_F(TypeLibTest, KeepsWhatTheIdlCompiledTo) {
    ComPtr<ITypeLib> compiled = LoadTypeLibrary(ZU_COMPILED_TYPELIB);
    ASSERT_TRUE(compiled);
    EXPECT_EQ(Describe(lib_.get()), Describe(compiled.get()));
}

TEST_F(TypeLibTest, BuiltForTheModulesBitness) {
    base::UniqueTLibAttr attr(lib_.get());
    ASSERT_EQ(lib_->GetLibAttr(attr.put()), S_OK);
    EXPECT_EQ(attr->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
}

TEST_F(TypeLibTest, InterfacesAndClassesFirstThenTheEnumeration) {
    const wchar_t* expected[] = {L"_QKDialer", L"QKDialer", L"_QKCache", L"QKCache",
                                 L"QKCACHE_TYPE"};
    ASSERT_EQ(lib_->GetTypeInfoCount(), std::size(expected));
    for (UINT i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(Name(Info(i).get()), expected[i]) << "type " << i;
    }
}

TEST_F(TypeLibTest, OnlyParametersThatCallersNameCarryNames) {
    for (UINT index : {0u, 2u}) {
        ComPtr<ITypeInfo> vtable = VtableHalf(Info(index).get());
        for (UINT i = 0; i < Attributes(vtable.get()).cFuncs; ++i) {
            base::UniqueFuncDesc func(vtable.get());
            ASSERT_EQ(vtable->GetFuncDesc(i, func.put()), S_OK);
            base::UniqueBstrArray names(static_cast<size_t>(func->cParams) + 1);
            UINT count = 0;
            vtable->GetNames(func->memid, names.put(), static_cast<UINT>(names.size()), &count);
            EXPECT_EQ(count, 1 + NamedParameters(*func.get())) << Name(vtable.get(), func->memid);
        }
    }
}

TEST_F(TypeLibTest, EnumerationIsFourBytesAndNamesEachConstant) {
    ComPtr<ITypeInfo> info;
    for (UINT i = 0; i < lib_->GetTypeInfoCount() && !info; ++i) {
        ComPtr<ITypeInfo> type = Info(i);
        if (Attributes(type.get()).typekind == TKIND_ENUM) {
            info = type;
        }
    }
    ASSERT_TRUE(info);
    TYPEATTR attr = Attributes(info.get());
    EXPECT_EQ(attr.cbSizeInstance, 4u);
    EXPECT_EQ(attr.cbAlignment, 4);
    ASSERT_GT(attr.cVars, 0);
    for (UINT i = 0; i < attr.cVars; ++i) {
        base::UniqueVarDesc var(info.get());
        ASSERT_EQ(info->GetVarDesc(i, var.put()), S_OK);
        EXPECT_EQ(HelpString(info.get(), var->memid), Name(info.get(), var->memid));
    }
}

// Both builds' modules, read as files: the 32-bit module runs in no process of a machine whose
// kernel runs no 32-bit code, so the 64-bit tests hold its library to what a 32-bit host
// dispatches through. Each build with the library that widl compiled for it.
struct Build {
    std::wstring module;
    std::wstring compiled;
};

std::vector<Build> BothBuilds() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(ComponentModule(), path, MAX_PATH);
    std::vector<Build> builds = {{path, ZU_COMPILED_TYPELIB}};
    if (GetFileAttributesW(ZU_OTHER_MODULE) != INVALID_FILE_ATTRIBUTES) {
        builds.push_back({ZU_OTHER_MODULE, ZU_OTHER_COMPILED_TYPELIB});
    }
    return builds;
}

// The module's embedded library as the file it was built from.
typelib::TypeLibFile EmbeddedLibraryFile(const std::wstring& module) {
    base::UniqueModule data(LoadLibraryExW(module.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    HRSRC resource = data ? FindResourceW(data.get(), MAKEINTRESOURCEW(1), L"TYPELIB") : nullptr;
    HGLOBAL loaded = resource ? LoadResource(data.get(), resource) : nullptr;
    const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    EXPECT_TRUE(bytes) << module;
    return typelib::TypeLibFile(
        bytes ? std::vector<char>(bytes, bytes + SizeofResource(data.get(), resource))
              : std::vector<char>());
}

WORD MachineOf(const std::wstring& module) {
    base::UniqueModule data(LoadLibraryExW(module.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    // A module loaded as data is mapped with its address's lowest bits set.
    auto* base = reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(data.get()) & ~3);
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    return reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew)->FileHeader.Machine;
}

// Each member of a dual interface as a caller binds to it: name, DISPID, kind and parameters.
std::vector<std::wstring> Members(ITypeLib* lib, UINT index) {
    ComPtr<ITypeInfo> info;
    EXPECT_EQ(lib->GetTypeInfo(index, info.put()), S_OK);
    ComPtr<ITypeInfo> vtable = VtableHalf(info.get());
    std::vector<std::wstring> members;
    for (UINT i = 0; i < Attributes(vtable.get()).cFuncs; ++i) {
        base::UniqueFuncDesc func(vtable.get());
        EXPECT_EQ(vtable->GetFuncDesc(i, func.put()), S_OK);
        members.push_back(Name(vtable.get(), func->memid) + L" id " +
                          Hex(static_cast<unsigned long>(func->memid)) + L" invoke " +
                          Hex(func->invkind) + L" parameters " + Hex(func->cParams));
    }
    return members;
}

TEST(BothBuildsTypeLib, LaidOutForTheModulesMachine) {
    for (const Build& build : BothBuilds()) {
        WORD machine = MachineOf(build.module);
        ASSERT_TRUE(machine == IMAGE_FILE_MACHINE_I386 || machine == IMAGE_FILE_MACHINE_AMD64);
        const int pointer = machine == IMAGE_FILE_MACHINE_I386 ? 4 : 8;
        ComPtr<ITypeLib> lib = LoadTypeLibrary(build.module.c_str());
        ASSERT_TRUE(lib);
        base::UniqueTLibAttr attr(lib.get());
        ASSERT_EQ(lib->GetLibAttr(attr.put()), S_OK);
        EXPECT_EQ(attr->syskind, pointer == 4 ? SYS_WIN32 : SYS_WIN64) << build.module;

        // The file's own numbers, which a host of the module's bitness dispatches through:
        // after IUnknown's and IDispatch's seven slots, one slot per function.
        typelib::TypeLibFile file = EmbeddedLibraryFile(build.module);
        int interfaces = 0;
        for (int type = 0; type < file.TypeCount(); ++type) {
            if (file.TypeKind(type) != TKIND_INTERFACE && file.TypeKind(type) != TKIND_DISPATCH) {
                continue;
            }
            ++interfaces;
            std::vector<int> offsets = file.FunctionOffsets(type);
            for (size_t i = 0; i < offsets.size(); ++i) {
                EXPECT_EQ(offsets[i], static_cast<int>(7 + i) * pointer)
                    << build.module << " type " << type << " function " << i;
            }
            EXPECT_EQ(file.VtableSize(type), static_cast<int>(7 + offsets.size()) * pointer)
                << build.module << " type " << type;
        }
        EXPECT_EQ(interfaces, 2) << build.module;
    }
}

TEST(BothBuildsTypeLib, KeepWhatTheirIdlCompiledTo) {
    for (const Build& build : BothBuilds()) {
        ComPtr<ITypeLib> module = LoadTypeLibrary(build.module.c_str());
        ComPtr<ITypeLib> compiled = LoadTypeLibrary(build.compiled.c_str());
        ASSERT_TRUE(module && compiled);
        EXPECT_EQ(Describe(module.get()), Describe(compiled.get())) << build.module;
    }
}

TEST(BothBuildsTypeLib, PublishTheSameMembersInTheSameOrder) {
    std::vector<Build> builds = BothBuilds();
    if (builds.size() < 2) {
        GTEST_SKIP() << "the other bitness's build is not there";
    }
    ComPtr<ITypeLib> own = LoadTypeLibrary(builds[0].module.c_str());
    ComPtr<ITypeLib> other = LoadTypeLibrary(builds[1].module.c_str());
    ASSERT_TRUE(own && other);
    for (UINT index : {0u, 2u}) {
        EXPECT_EQ(Members(own.get(), index), Members(other.get(), index)) << "type " << index;
    }
}

} // namespace
