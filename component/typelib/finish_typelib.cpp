/*
 * Build tool, run under Wine: finish_typelib IN.tlb OUT.tlb TYPE...
 *
 * Rewrites the type library that widl compiled from the IDL into OUT, with the type
 * descriptions in the order the TYPE arguments give. Two things of the published library are
 * beyond what widl can express: widl writes an enumeration ahead of the interface that uses it,
 * whatever the IDL order, and it refuses help strings on enumeration constants. So the library
 * is rebuilt through ICreateTypeLib2, type by type, copying every attribute as widl wrote it;
 * each enumeration constant gets its own name as its help string.
 *
 * A [retval] parameter, which no caller names, is stored without a name.
 *
 * In a 64-bit library the platform's writer lays an enumeration out 8 bytes wide; an
 * enumeration is 4 bytes in 64-bit code as in 32-bit code, so the written file is corrected.
 *
 * Dual interfaces are copied from their vtable half (TKIND_INTERFACE with TYPEFLAG_FDUAL);
 * the platform derives the dispatch half from it, as it did when widl wrote the input.
 */

#include "base/Owners.h"

#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

using base::ComPtr;

namespace {

struct Failure {
    HRESULT hr;
    std::string step;
};

void Check(HRESULT hr, const char* step) {
    if (FAILED(hr)) {
        throw Failure{hr, step};
    }
}

std::wstring Widen(const char* text) {
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), n);
    wide.resize(static_cast<size_t>(n > 0 ? n - 1 : 0));
    return wide;
}

std::wstring NameOf(ITypeInfo* info, MEMBERID member = MEMBERID_NIL) {
    base::UniqueBstr name;
    Check(info->GetDocumentation(member, name.put(), nullptr, nullptr, nullptr),
          "GetDocumentation");
    return name.str();
}

std::wstring DocStringOf(ITypeInfo* info, MEMBERID member = MEMBERID_NIL) {
    base::UniqueBstr doc;
    Check(info->GetDocumentation(member, nullptr, doc.put(), nullptr, nullptr), "GetDocumentation");
    return doc.str();
}

template <class T, auto Release> struct Described {
    ITypeInfo* owner;
    T* desc = nullptr;
    ~Described() {
        if (desc) {
            (owner->*Release)(desc);
        }
    }
};

class Finisher {
public:
    Finisher(ITypeLib* source, ICreateTypeLib2* target) : source_(source), target_(target) {}

    void CopyLibrary(const std::vector<std::wstring>& order) {
        TLIBATTR* attr = nullptr;
        Check(source_->GetLibAttr(&attr), "GetLibAttr");
        TLIBATTR lib = *attr;
        source_->ReleaseTLibAttr(attr);
        base::UniqueBstr name;
        Check(source_->GetDocumentation(-1, name.put(), nullptr, nullptr, nullptr), "library name");
        Check(target_->SetName(name.get()), "SetName");
        Check(target_->SetGuid(lib.guid), "SetGuid");
        Check(target_->SetLcid(lib.lcid), "SetLcid");
        Check(target_->SetVersion(lib.wMajorVerNum, lib.wMinorVerNum), "SetVersion");
        Check(target_->SetLibFlags(lib.wLibFlags), "SetLibFlags");

        for (const auto& typeName : order) {
            ComPtr<ITypeInfo> info = VtableHalf(FindSource(typeName));
            TYPEATTR* typeAttr = nullptr;
            Check(info->GetTypeAttr(&typeAttr), "GetTypeAttr");
            TYPEKIND kind = typeAttr->typekind;
            info->ReleaseTypeAttr(typeAttr);
            ComPtr<ICreateTypeInfo> created;
            Check(target_->CreateTypeInfo(const_cast<LPOLESTR>(typeName.c_str()), kind,
                                          created.put()),
                  "CreateTypeInfo");
            ComPtr<ITypeInfo> createdInfo;
            Check(created.query(createdInfo), "ICreateTypeInfo as ITypeInfo");
            types_.push_back({info, created});
            byName_[typeName] = createdInfo;
        }
        for (auto& type : types_) {
            CopyType(type.source.get(), type.target.get());
        }
        for (auto& type : types_) {
            Check(type.target->LayOut(), "LayOut");
        }
        Check(target_->SaveAllChanges(), "SaveAllChanges");
    }

private:
    struct TypePair {
        ComPtr<ITypeInfo> source;
        ComPtr<ICreateTypeInfo> target;
    };

    ComPtr<ITypeInfo> FindSource(const std::wstring& name) {
        for (UINT i = 0; i < source_->GetTypeInfoCount(); ++i) {
            ComPtr<ITypeInfo> info;
            Check(source_->GetTypeInfo(i, info.put()), "GetTypeInfo");
            if (NameOf(info.get()) == name) {
                return info;
            }
        }
        throw Failure{TYPE_E_ELEMENTNOTFOUND, "type not in the input library"};
    }

    // A dual interface is described by its vtable half; everything else as it stands.
    static ComPtr<ITypeInfo> VtableHalf(ComPtr<ITypeInfo> info) {
        TYPEATTR* attr = nullptr;
        Check(info->GetTypeAttr(&attr), "GetTypeAttr");
        bool dual = attr->typekind == TKIND_DISPATCH && (attr->wTypeFlags & TYPEFLAG_FDUAL);
        info->ReleaseTypeAttr(attr);
        if (!dual) {
            return info;
        }
        HREFTYPE ref = 0;
        Check(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref), "dual vtable half");
        ComPtr<ITypeInfo> vtable;
        Check(info->GetRefTypeInfo(ref, vtable.put()), "dual vtable half");
        return vtable;
    }

    // The target's reference to the type that the source's reference names: a type of this
    // library maps to its new description, any other (IDispatch) is referenced as it is.
    HREFTYPE MapReference(ITypeInfo* source, ICreateTypeInfo* target, HREFTYPE ref) {
        ComPtr<ITypeInfo> referenced;
        Check(source->GetRefTypeInfo(ref, referenced.put()), "GetRefTypeInfo");
        ComPtr<ITypeLib> container;
        UINT index = 0;
        Check(referenced->GetContainingTypeLib(container.put(), &index), "GetContainingTypeLib");
        ITypeInfo* mapped = referenced.get();
        if (container.get() == source_) {
            auto found = byName_.find(NameOf(referenced.get()));
            if (found == byName_.end()) {
                throw Failure{TYPE_E_ELEMENTNOTFOUND, "referenced type not in the order"};
            }
            mapped = found->second.get();
        }
        HREFTYPE newRef = 0;
        Check(target->AddRefTypeInfo(mapped, &newRef), "AddRefTypeInfo");
        return newRef;
    }

    void MapTypeDesc(ITypeInfo* source, ICreateTypeInfo* target, TYPEDESC& desc,
                     std::vector<std::unique_ptr<TYPEDESC>>& keep) {
        if (desc.vt == VT_USERDEFINED) {
            desc.hreftype = MapReference(source, target, desc.hreftype);
        } else if ((desc.vt == VT_PTR || desc.vt == VT_SAFEARRAY) && desc.lptdesc) {
            keep.push_back(std::make_unique<TYPEDESC>(*desc.lptdesc));
            desc.lptdesc = keep.back().get();
            MapTypeDesc(source, target, *desc.lptdesc, keep);
        }
    }

    void CopyType(ITypeInfo* source, ICreateTypeInfo* target) {
        TYPEATTR* attr = nullptr;
        Check(source->GetTypeAttr(&attr), "GetTypeAttr");
        TYPEATTR type = *attr;
        source->ReleaseTypeAttr(attr);

        Check(target->SetGuid(type.guid), "SetGuid");
        Check(target->SetVersion(type.wMajorVerNum, type.wMinorVerNum), "SetVersion");
        std::wstring doc = DocStringOf(source);
        if (!doc.empty()) {
            Check(target->SetDocString(const_cast<LPOLESTR>(doc.c_str())), "SetDocString");
        }
        // Implemented interfaces first: a dual interface needs its IDispatch base in place
        // before the dual flag is set.
        for (UINT i = 0; i < type.cImplTypes; ++i) {
            HREFTYPE ref = 0;
            Check(source->GetRefTypeOfImplType(i, &ref), "GetRefTypeOfImplType");
            Check(target->AddImplType(i, MapReference(source, target, ref)), "AddImplType");
            if (type.typekind == TKIND_COCLASS) {
                INT flags = 0;
                Check(source->GetImplTypeFlags(i, &flags), "GetImplTypeFlags");
                Check(target->SetImplTypeFlags(i, flags), "SetImplTypeFlags");
            }
        }
        Check(target->SetTypeFlags(type.wTypeFlags), "SetTypeFlags");
        if (type.typekind == TKIND_ENUM || type.typekind == TKIND_RECORD) {
            Check(target->SetAlignment(type.cbAlignment), "SetAlignment");
        }
        for (UINT i = 0; i < type.cFuncs; ++i) {
            CopyFunction(source, target, i);
        }
        for (UINT i = 0; i < type.cVars; ++i) {
            CopyVariable(source, target, i, type.typekind == TKIND_ENUM);
        }
    }

    void CopyFunction(ITypeInfo* source, ICreateTypeInfo* target, UINT index) {
        Described<FUNCDESC, &ITypeInfo::ReleaseFuncDesc> func{source};
        Check(source->GetFuncDesc(index, &func.desc), "GetFuncDesc");
        FUNCDESC copy = *func.desc;
        std::vector<std::unique_ptr<TYPEDESC>> keep;
        std::vector<ELEMDESC> params(func.desc->lprgelemdescParam,
                                     func.desc->lprgelemdescParam + func.desc->cParams);
        for (auto& param : params) {
            MapTypeDesc(source, target, param.tdesc, keep);
        }
        MapTypeDesc(source, target, copy.elemdescFunc.tdesc, keep);
        copy.lprgelemdescParam = params.empty() ? nullptr : params.data();
        copy.oVft = 0;
        Check(target->AddFuncDesc(index, &copy), "AddFuncDesc");

        std::vector<BSTR> names(static_cast<size_t>(copy.cParams) + 1, nullptr);
        UINT count = 0;
        Check(source->GetNames(copy.memid, names.data(), static_cast<UINT>(names.size()), &count),
              "GetNames");
        // A property put's value, a property get's result and a method's result carry no name.
        count = 1;
        while (count <= params.size() &&
               !(params[count - 1].paramdesc.wParamFlags & PARAMFLAG_FRETVAL) &&
               copy.invkind == INVOKE_FUNC) {
            ++count;
        }
        HRESULT hr = target->SetFuncAndParamNames(index, names.data(), count);
        for (BSTR name : names) {
            SysFreeString(name);
        }
        Check(hr, "SetFuncAndParamNames");
        std::wstring doc = DocStringOf(source, copy.memid);
        if (!doc.empty()) {
            Check(target->SetFuncDocString(index, const_cast<LPOLESTR>(doc.c_str())),
                  "SetFuncDocString");
        }
    }

    void CopyVariable(ITypeInfo* source, ICreateTypeInfo* target, UINT index, bool enumConstant) {
        Described<VARDESC, &ITypeInfo::ReleaseVarDesc> var{source};
        Check(source->GetVarDesc(index, &var.desc), "GetVarDesc");
        VARDESC copy = *var.desc;
        std::vector<std::unique_ptr<TYPEDESC>> keep;
        MapTypeDesc(source, target, copy.elemdescVar.tdesc, keep);
        Check(target->AddVarDesc(index, &copy), "AddVarDesc");
        std::wstring name = NameOf(source, copy.memid);
        Check(target->SetVarName(index, const_cast<LPOLESTR>(name.c_str())), "SetVarName");
        std::wstring doc = enumConstant ? name : DocStringOf(source, copy.memid);
        if (!doc.empty()) {
            Check(target->SetVarDocString(index, const_cast<LPOLESTR>(doc.c_str())),
                  "SetVarDocString");
        }
    }

    ITypeLib* source_;
    ICreateTypeLib2* target_;
    std::vector<TypePair> types_;
    std::map<std::wstring, ComPtr<ITypeInfo>> byName_;
};

// Sets the instance size and alignment of every enumeration in a written type library file
// (MSFT format: a header, the typeinfo offsets, a segment directory whose first segment holds
// one 0x64-byte description per type) to 4 bytes.
void FixEnumerationSizes(const std::string& path) {
    std::vector<char> file;
    {
        std::ifstream in(path, std::ios::binary);
        file.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    auto at = [&](size_t offset) -> int32_t {
        if (offset + 4 > file.size()) {
            throw Failure{E_UNEXPECTED, "type library layout"};
        }
        int32_t value;
        std::memcpy(&value, file.data() + offset, 4);
        return value;
    };
    auto put = [&](size_t offset, int32_t value) { std::memcpy(file.data() + offset, &value, 4); };
    const size_t kHeaderSize = 0x54, kTypeDescriptionSize = 0x64;
    const int32_t kind = TKIND_ENUM, width = 4;
    int32_t types = at(0x20);
    size_t offsets = kHeaderSize + ((at(0x14) & 0x100) ? 4 : 0);
    size_t segments = offsets + static_cast<size_t>(types) * 4;
    size_t typeTable = static_cast<size_t>(at(segments));
    for (int32_t i = 0; i < types; ++i) {
        size_t description = typeTable + static_cast<size_t>(at(offsets + i * 4));
        if (description + kTypeDescriptionSize > file.size()) {
            throw Failure{E_UNEXPECTED, "type library layout"};
        }
        int32_t kindAndAlignment = at(description);
        if ((kindAndAlignment & 0xF) == kind) {
            put(description, (kindAndAlignment & ~(0x1F << 11)) | (width << 11));
            put(description + 0x50, width);
        }
    }
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(file.data(), static_cast<std::streamsize>(file.size()));
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: finish_typelib IN.tlb OUT.tlb TYPE...\n");
        return 2;
    }
    try {
        ComPtr<ITypeLib> source;
        Check(LoadTypeLibEx(Widen(argv[1]).c_str(), REGKIND_NONE, source.put()), "LoadTypeLibEx");
        TLIBATTR* attr = nullptr;
        Check(source->GetLibAttr(&attr), "GetLibAttr");
        SYSKIND kind = attr->syskind;
        source->ReleaseTLibAttr(attr);

        std::wstring out = Widen(argv[2]);
        DeleteFileW(out.c_str());
        ComPtr<ICreateTypeLib2> target;
        Check(CreateTypeLib2(kind, out.c_str(), target.put()), "CreateTypeLib2");
        std::vector<std::wstring> order;
        for (int i = 3; i < argc; ++i) {
            order.push_back(Widen(argv[i]));
        }
        Finisher(source.get(), target.get()).CopyLibrary(order);
        target.reset();
        FixEnumerationSizes(argv[2]);
    } catch (const Failure& failure) {
        std::fprintf(stderr, "finish_typelib: %s failed with 0x%08lx\n", failure.step.c_str(),
                     static_cast<unsigned long>(failure.hr));
        return 1;
    }
    return 0;
}
