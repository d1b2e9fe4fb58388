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
 * The platform's writer lays a library out for the process it runs in, not for the library's
 * system kind: a 64-bit process can write a 32-bit library's vtables with 8-byte slots (it does
 * when the 64-bit IDispatch is the one it finds), and writes the sizes of the members'
 * descriptions in memory for 64-bit code; it also writes a 64-bit library's enumerations 8 bytes
 * wide. So the written file takes all of this layout from the input, which widl laid out for its
 * bitness, and each enumeration a width of 4 bytes, as in 32-bit and 64-bit code alike: the
 * finished library is the same, byte for byte, whichever process finishes it. Then the file is
 * loaded back and every vtable offset and size compared with the input's; a difference fails
 * the build.
 *
 * Dual interfaces are copied from their vtable half (TKIND_INTERFACE with TYPEFLAG_FDUAL);
 * the platform derives the dispatch half from it, as it did when widl wrote the input.
 */

#include "component/typelib/typelib_file.h"

#include "base/Error.h"
#include "base/Owners.h"

#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <cstdio>
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

// A dual interface is described by its vtable half; everything else as it stands.
ComPtr<ITypeInfo> VtableHalf(ComPtr<ITypeInfo> info) {
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

// The source's type indices in the published order: the enumerations moved behind the interfaces
// and classes.
std::vector<UINT> PublishedOrder(ITypeLib* source) {
    std::vector<UINT> order;
    for (UINT i = 0; i < source->GetTypeInfoCount(); ++i) {
        order.push_back(i);
    }
    std::stable_partition(order.begin(), order.end(), [source](UINT index) {
        ComPtr<ITypeInfo> info;
        ThrowIfFailed(source->GetTypeInfo(index, info.put()), L"GetTypeInfo");
        return TypeAttributes(info.get()).typekind != TKIND_ENUM;
    });
    return order;
}

class Finisher {
public:
    // order: the source's type indices in the order the target publishes them.
    Finisher(ITypeLib* source, ICreateTypeLib2* target, const std::vector<UINT>& order)
        : source_(source), target_(target), order_(order) {}

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

        for (UINT index : order_) {
            ComPtr<ITypeInfo> published;
            ThrowIfFailed(source_->GetTypeInfo(index, published.put()), L"GetTypeInfo");
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
    const std::vector<UINT>& order_;
    std::vector<TypePair> types_;
    std::map<std::wstring, ComPtr<ITypeInfo>> byName_;
};

// Sets in the written file what the platform's writer laid out for this process instead of for
// the library: each type's layout as the input has it, each enumeration 4 bytes wide.
void LayOutForTheLibrarysBitness(const std::string& input, const std::string& output,
                                 const std::vector<UINT>& order) {
    typelib::TypeLibFile compiled = typelib::TypeLibFile::Read(input);
    typelib::TypeLibFile finished = typelib::TypeLibFile::Read(output);
    for (int type = 0; type < finished.TypeCount(); ++type) {
        int source = static_cast<int>(order.at(static_cast<size_t>(type)));
        finished.CopyLayout(type, compiled, source);
        if (compiled.TypeKind(source) == TKIND_ENUM) {
            finished.SetEnumerationWidth(type, 4);
        }
    }
    finished.Write(output);
}

// Every vtable offset and size of the finished library, as the platform reads them, equals the
// input's: a host dispatches through them.
void CheckVtableLayout(ITypeLib* compiled, ITypeLib* finished, const std::vector<UINT>& order) {
    for (UINT type = 0; type < finished->GetTypeInfoCount(); ++type) {
        ComPtr<ITypeInfo> source, target;
        ThrowIfFailed(compiled->GetTypeInfo(order.at(type), source.put()), L"GetTypeInfo");
        ThrowIfFailed(finished->GetTypeInfo(type, target.put()), L"GetTypeInfo");
        source = VtableHalf(source);
        target = VtableHalf(target);
        TYPEATTR expected = TypeAttributes(source.get()), actual = TypeAttributes(target.get());
        bool same = expected.cbSizeVft == actual.cbSizeVft && expected.cFuncs == actual.cFuncs;
        for (UINT i = 0; same && i < expected.cFuncs; ++i) {
            base::UniqueFuncDesc want(source.get()), have(target.get());
            ThrowIfFailed(source->GetFuncDesc(i, want.put()), L"GetFuncDesc");
            ThrowIfFailed(target->GetFuncDesc(i, have.put()), L"GetFuncDesc");
            same = want->oVft == have->oVft;
        }
        if (!same) {
            throw base::Error(E_UNEXPECTED, L"The vtable of " + NameOf(target.get()) +
                                                L" is laid out unlike the input's");
        }
    }
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
        std::vector<UINT> order = PublishedOrder(source.get());

        std::wstring out = Widen(argv[2]);
        DeleteFileW(out.c_str());
        ComPtr<ICreateTypeLib2> target;
        ThrowIfFailed(CreateTypeLib2(kind, out.c_str(), target.put()), L"CreateTypeLib2");
        Finisher(source.get(), target.get(), order).CopyLibrary();
        target.reset();
        LayOutForTheLibrarysBitness(argv[1], argv[2], order);

        ComPtr<ITypeLib> finished;
        ThrowIfFailed(LoadTypeLibEx(out.c_str(), REGKIND_NONE, finished.put()),
                      L"LoadTypeLibEx of the finished library");
        CheckVtableLayout(source.get(), finished.get(), order);
    } catch (const base::Error& error) {
        std::fwprintf(stderr, L"finish_typelib: %ls (0x%08lx)\n", error.description().c_str(),
                      static_cast<unsigned long>(error.hr()));
        DeleteFileW(Widen(argv[2]).c_str());
        return 1;
    }
    return 0;
}
