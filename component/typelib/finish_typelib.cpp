/*
 * Build tool, run under Wine: finish_typelib IN.tlb OUT.tlb
 *
 * Rewrites the type library that widl compiled from the IDL into OUT. Two things of the
 * published library are beyond what widl can express: widl writes an enumeration ahead of the
 * interface that uses it, whatever the IDL order, and it refuses help strings on enumeration
 * constants. So the library is rebuilt through ICreateTypeLib2, type by type, copying every
 * attribute as widl wrote it: the interfaces and classes in widl's order, which is the IDL's,
 * then the enumerations; each enumeration constant gets its own name as its help string.
 *
 * Names are copied for each member and, for a method, for its parameters up to its first
 * [retval] parameter. A method's [retval] parameter and those after it, and every parameter of a
 * property's accessors (the value a put assigns, the result a get returns), are stored without
 * a name: no caller names them.
 *
 * In a 64-bit library the platform's writer lays an enumeration out 8 bytes wide; an
 * enumeration is 4 bytes in 64-bit code as in 32-bit code, so the written file is corrected.
 *
 * Dual interfaces are copied from their vtable half (TKIND_INTERFACE with TYPEFLAG_FDUAL);
 * the platform derives the dispatch half from it, as it did when widl wrote the input.
 */

#include "base/Error.h"
#include "base/Owners.h"

#include <windows.h>
#include <oleauto.h>

#include <algorithm>
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

using base::ThrowIfFailed;

std::wstring Widen(const char* text) {
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), n);
    wide.resize(static_cast<size_t>(n > 0 ? n - 1 : 0));
    return wide;
}

std::wstring NameOf(ITypeInfo* info, MEMBERID member = MEMBERID_NIL) {
    base::UniqueBstr name;
    ThrowIfFailed(info->GetDocumentation(member, name.put(), nullptr, nullptr, nullptr),
                  L"GetDocumentation");
    return name.str();
}

std::wstring DocStringOf(ITypeInfo* info, MEMBERID member = MEMBERID_NIL) {
    base::UniqueBstr doc;
    ThrowIfFailed(info->GetDocumentation(member, nullptr, doc.put(), nullptr, nullptr),
                  L"GetDocumentation");
    return doc.str();
}

TLIBATTR LibraryAttributes(ITypeLib* library) {
    base::UniqueTLibAttr attr(library);
    ThrowIfFailed(library->GetLibAttr(attr.put()), L"GetLibAttr");
    return *attr.get();
}

TYPEATTR TypeAttributes(ITypeInfo* info) {
    base::UniqueTypeAttr attr(info);
    ThrowIfFailed(info->GetTypeAttr(attr.put()), L"GetTypeAttr");
    return *attr.get();
}

class Finisher {
public:
    Finisher(ITypeLib* source, ICreateTypeLib2* target) : source_(source), target_(target) {}

    void CopyLibrary() {
        TLIBATTR lib = LibraryAttributes(source_);
        base::UniqueBstr name;
        ThrowIfFailed(source_->GetDocumentation(-1, name.put(), nullptr, nullptr, nullptr),
                      L"library name");
        ThrowIfFailed(target_->SetName(name.get()), L"SetName");
        ThrowIfFailed(target_->SetGuid(lib.guid), L"SetGuid");
        ThrowIfFailed(target_->SetLcid(lib.lcid), L"SetLcid");
        ThrowIfFailed(target_->SetVersion(lib.wMajorVerNum, lib.wMinorVerNum), L"SetVersion");
        ThrowIfFailed(target_->SetLibFlags(lib.wLibFlags), L"SetLibFlags");

        for (const auto& published : PublishedOrder()) {
            std::wstring typeName = NameOf(published.get());
            ComPtr<ITypeInfo> info = VtableHalf(published);
            TYPEKIND kind = TypeAttributes(info.get()).typekind;
            ComPtr<ICreateTypeInfo> created;
            ThrowIfFailed(target_->CreateTypeInfo(const_cast<LPOLESTR>(typeName.c_str()), kind,
                                                  created.put()),
                          L"CreateTypeInfo");
            ComPtr<ITypeInfo> createdInfo;
            ThrowIfFailed(created.query(createdInfo), L"ICreateTypeInfo as ITypeInfo");
            types_.push_back({info, created});
            byName_[typeName] = createdInfo;
        }
        for (auto& type : types_) {
            CopyType(type.source.get(), type.target.get());
        }
        for (auto& type : types_) {
            ThrowIfFailed(type.target->LayOut(), L"LayOut");
        }
        ThrowIfFailed(target_->SaveAllChanges(), L"SaveAllChanges");
    }

private:
    struct TypePair {
        ComPtr<ITypeInfo> source;
        ComPtr<ICreateTypeInfo> target;
    };

    // The source's types, the enumerations moved behind the interfaces and classes.
    std::vector<ComPtr<ITypeInfo>> PublishedOrder() {
        std::vector<ComPtr<ITypeInfo>> types;
        for (UINT i = 0; i < source_->GetTypeInfoCount(); ++i) {
            ComPtr<ITypeInfo> info;
            ThrowIfFailed(source_->GetTypeInfo(i, info.put()), L"GetTypeInfo");
            types.push_back(info);
        }
        std::stable_partition(types.begin(), types.end(), [](const ComPtr<ITypeInfo>& info) {
            return TypeAttributes(info.get()).typekind != TKIND_ENUM;
        });
        return types;
    }

    // A dual interface is described by its vtable half; everything else as it stands.
    static ComPtr<ITypeInfo> VtableHalf(ComPtr<ITypeInfo> info) {
        TYPEATTR attr = TypeAttributes(info.get());
        bool dual = attr.typekind == TKIND_DISPATCH && (attr.wTypeFlags & TYPEFLAG_FDUAL);
        if (!dual) {
            return info;
        }
        HREFTYPE ref = 0;
        ThrowIfFailed(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref), L"dual vtable half");
        ComPtr<ITypeInfo> vtable;
        ThrowIfFailed(info->GetRefTypeInfo(ref, vtable.put()), L"dual vtable half");
        return vtable;
    }

    // The target's reference to the type that the source's reference names: a type of this
    // library maps to its new description, any other (IDispatch) is referenced as it is.
    HREFTYPE MapReference(ITypeInfo* source, ICreateTypeInfo* target, HREFTYPE ref) {
        ComPtr<ITypeInfo> referenced;
        ThrowIfFailed(source->GetRefTypeInfo(ref, referenced.put()), L"GetRefTypeInfo");
        ComPtr<ITypeLib> container;
        UINT index = 0;
        ThrowIfFailed(referenced->GetContainingTypeLib(container.put(), &index),
                      L"GetContainingTypeLib");
        ITypeInfo* mapped = referenced.get();
        if (container.get() == source_) {
            std::wstring name = NameOf(referenced.get());
            auto found = byName_.find(name);
            if (found == byName_.end()) {
                throw base::Error(TYPE_E_ELEMENTNOTFOUND,
                                  L"Referenced type " + name + L" is not in the input library");
            }
            mapped = found->second.get();
        }
        HREFTYPE newRef = 0;
        ThrowIfFailed(target->AddRefTypeInfo(mapped, &newRef), L"AddRefTypeInfo");
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
        TYPEATTR type = TypeAttributes(source);

        ThrowIfFailed(target->SetGuid(type.guid), L"SetGuid");
        ThrowIfFailed(target->SetVersion(type.wMajorVerNum, type.wMinorVerNum), L"SetVersion");
        std::wstring doc = DocStringOf(source);
        if (!doc.empty()) {
            ThrowIfFailed(target->SetDocString(const_cast<LPOLESTR>(doc.c_str())), L"SetDocString");
        }
        // Implemented interfaces first: a dual interface needs its IDispatch base in place
        // before the dual flag is set.
        for (UINT i = 0; i < type.cImplTypes; ++i) {
            HREFTYPE ref = 0;
            ThrowIfFailed(source->GetRefTypeOfImplType(i, &ref), L"GetRefTypeOfImplType");
            ThrowIfFailed(target->AddImplType(i, MapReference(source, target, ref)),
                          L"AddImplType");
            if (type.typekind == TKIND_COCLASS) {
                INT flags = 0;
                ThrowIfFailed(source->GetImplTypeFlags(i, &flags), L"GetImplTypeFlags");
                ThrowIfFailed(target->SetImplTypeFlags(i, flags), L"SetImplTypeFlags");
            }
        }
        ThrowIfFailed(target->SetTypeFlags(type.wTypeFlags), L"SetTypeFlags");
        if (type.typekind == TKIND_ENUM || type.typekind == TKIND_RECORD) {
            ThrowIfFailed(target->SetAlignment(type.cbAlignment), L"SetAlignment");
        }
        for (UINT i = 0; i < type.cFuncs; ++i) {
            CopyFunction(source, target, i);
        }
        for (UINT i = 0; i < type.cVars; ++i) {
            CopyVariable(source, target, i, type.typekind == TKIND_ENUM);
        }
    }

    void CopyFunction(ITypeInfo* source, ICreateTypeInfo* target, UINT index) {
        base::UniqueFuncDesc func(source);
        ThrowIfFailed(source->GetFuncDesc(index, func.put()), L"GetFuncDesc");
        FUNCDESC copy = *func.get();
        std::vector<std::unique_ptr<TYPEDESC>> keep;
        std::vector<ELEMDESC> params(func->lprgelemdescParam,
                                     func->lprgelemdescParam + func->cParams);
        for (auto& param : params) {
            MapTypeDesc(source, target, param.tdesc, keep);
        }
        MapTypeDesc(source, target, copy.elemdescFunc.tdesc, keep);
        copy.lprgelemdescParam = params.empty() ? nullptr : params.data();
        copy.oVft = 0;
        ThrowIfFailed(target->AddFuncDesc(index, &copy), L"AddFuncDesc");

        base::UniqueBstrArray names(static_cast<size_t>(copy.cParams) + 1);
        UINT count = 0;
        ThrowIfFailed(
            source->GetNames(copy.memid, names.put(), static_cast<UINT>(names.size()), &count),
            L"GetNames");
        // The member's name, then for a method the names of its parameters before the first
        // [retval] one; a property accessor's parameters stay nameless.
        count = 1;
        while (count <= params.size() &&
               !(params[count - 1].paramdesc.wParamFlags & PARAMFLAG_FRETVAL) &&
               copy.invkind == INVOKE_FUNC) {
            ++count;
        }
        ThrowIfFailed(target->SetFuncAndParamNames(index, names.get(), count),
                      L"SetFuncAndParamNames");
        std::wstring doc = DocStringOf(source, copy.memid);
        if (!doc.empty()) {
            ThrowIfFailed(target->SetFuncDocString(index, const_cast<LPOLESTR>(doc.c_str())),
                          L"SetFuncDocString");
        }
    }

    void CopyVariable(ITypeInfo* source, ICreateTypeInfo* target, UINT index, bool enumConstant) {
        base::UniqueVarDesc var(source);
        ThrowIfFailed(source->GetVarDesc(index, var.put()), L"GetVarDesc");
        VARDESC copy = *var.get();
        std::vector<std::unique_ptr<TYPEDESC>> keep;
        MapTypeDesc(source, target, copy.elemdescVar.tdesc, keep);
        ThrowIfFailed(target->AddVarDesc(index, &copy), L"AddVarDesc");
        std::wstring name = NameOf(source, copy.memid);
        ThrowIfFailed(target->SetVarName(index, const_cast<LPOLESTR>(name.c_str())), L"SetVarName");
        std::wstring doc = enumConstant ? name : DocStringOf(source, copy.memid);
        if (!doc.empty()) {
            ThrowIfFailed(target->SetVarDocString(index, const_cast<LPOLESTR>(doc.c_str())),
                          L"SetVarDocString");
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
            throw base::Error(E_UNEXPECTED, L"The written type library has an unknown layout");
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
            throw base::Error(E_UNEXPECTED, L"The written type library has an unknown layout");
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
    if (argc != 3) {
        std::fwprintf(stderr, L"usage: finish_typelib IN.tlb OUT.tlb\n");
        return 2;
    }
    try {
        ComPtr<ITypeLib> source;
        ThrowIfFailed(LoadTypeLibEx(Widen(argv[1]).c_str(), REGKIND_NONE, source.put()),
                      L"LoadTypeLibEx");
        SYSKIND kind = LibraryAttributes(source.get()).syskind;

        std::wstring out = Widen(argv[2]);
        DeleteFileW(out.c_str());
        ComPtr<ICreateTypeLib2> target;
        ThrowIfFailed(CreateTypeLib2(kind, out.c_str(), target.put()), L"CreateTypeLib2");
        Finisher(source.get(), target.get()).CopyLibrary();
        target.reset();
        FixEnumerationSizes(argv[2]);
    } catch (const base::Error& error) {
        std::fwprintf(stderr, L"finish_typelib: %ls (0x%08lx)\n", error.description().c_str(),
                      static_cast<unsigned long>(error.hr()));
        return 1;
    }
    return 0;
}
