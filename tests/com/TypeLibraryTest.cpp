// The type library and resources embedded in VarnokSrv.exe, read back as a client tool would.

#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include "TestSupport.h"
#include "VarnokSrv.h"
#include "VarnokSrvImage.h"
#include "VarnokVersion.h"
#include "platform/ComPtr.h"

namespace varnok::test {
namespace {

struct Member {
    const wchar_t* name;
    MEMBERID id;
    INVOKEKIND kind;
    std::vector<std::wstring> parameters;  // [in] BSTR parameters before the [out, retval] one
    bool returnsValue;
};

const std::vector<Member> members = {
    {L"ReadCodetData", 0x6003001F, INVOKE_FUNC, {L"CodetString", L"LocalPath"}, true},
    {L"ReadData", 0x60030020, INVOKE_FUNC, {L"FilePath"}, true},
    {L"NumerDR", 0x6803001E, INVOKE_PROPERTYGET, {}, true},
    {L"RodzajPojazdu", 0x6803001D, INVOKE_PROPERTYGET, {}, true},
    {L"NazwiskoNazwa", 0x6803001C, INVOKE_PROPERTYGET, {}, true},
    {L"Adres", 0x6803001B, INVOKE_PROPERTYGET, {}, true},
    {L"Przeznaczenie", 0x6803001A, INVOKE_PROPERTYGET, {}, true},
    {L"RokProdukcji", 0x68030019, INVOKE_PROPERTYGET, {}, true},
    {L"DopuszczalnaLadownosc", 0x68030018, INVOKE_PROPERTYGET, {}, true},
    {L"DopuszczalnyNacisk", 0x68030017, INVOKE_PROPERTYGET, {}, true},
    {L"NumerKarty", 0x68030016, INVOKE_PROPERTYGET, {}, true},
    {L"NrRejestracyjny", 0x68030015, INVOKE_PROPERTYGET, {}, true},
    {L"DataIRejestracji", 0x68030014, INVOKE_PROPERTYGET, {}, true},
    {L"Marka", 0x68030013, INVOKE_PROPERTYGET, {}, true},
    {L"Typ", 0x68030012, INVOKE_PROPERTYGET, {}, true},
    {L"Model", 0x68030011, INVOKE_PROPERTYGET, {}, true},
    {L"VIN", 0x68030010, INVOKE_PROPERTYGET, {}, true},
    {L"MaxMasaCalk", 0x6803000F, INVOKE_PROPERTYGET, {}, true},
    {L"DopuszczalnaMasaCalk", 0x6803000E, INVOKE_PROPERTYGET, {}, true},
    {L"MasaZesp", 0x6803000D, INVOKE_PROPERTYGET, {}, true},
    {L"MasaWlasna", 0x6803000C, INVOKE_PROPERTYGET, {}, true},
    {L"DataWydaniaDR", 0x6803000B, INVOKE_PROPERTYGET, {}, true},
    {L"KategoriaPojazdu", 0x6803000A, INVOKE_PROPERTYGET, {}, true},
    {L"Podrodzaj", 0x68030009, INVOKE_PROPERTYGET, {}, true},
    {L"LiczbaOsi", 0x68030008, INVOKE_PROPERTYGET, {}, true},
    {L"MaxMasaPrzyczZH", 0x68030007, INVOKE_PROPERTYGET, {}, true},
    {L"MaxMasaPrzyczBH", 0x68030006, INVOKE_PROPERTYGET, {}, true},
    {L"PojSilnika", 0x68030005, INVOKE_PROPERTYGET, {}, true},
    {L"MaksymalnaMocNetto", 0x68030004, INVOKE_PROPERTYGET, {}, true},
    {L"RodzajPaliwa", 0x68030003, INVOKE_PROPERTYGET, {}, true},
    {L"LiczbaMiejscSiedz", 0x68030002, INVOKE_PROPERTYGET, {}, true},
    {L"LiczbaMiejscStoj", 0x68030001, INVOKE_PROPERTYGET, {}, true},
    {L"OrganWydajacy", 0x68030000, INVOKE_PROPERTYGET, {}, true},
    {L"CloseData", 0x60030021, INVOKE_FUNC, {}, false},
};

class TypeLibraryTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(server.empty()) << "VARNOK_SERVER_EXE is not set";
        ASSERT_EQ(LoadTypeLibEx(server.c_str(), REGKIND_NONE, library.put()), S_OK);
    }

    ComPtr<ITypeInfo> infoOf(REFGUID guid)
    {
        ComPtr<ITypeInfo> info;
        EXPECT_EQ(library->GetTypeInfoOfGuid(guid, info.put()), S_OK);
        return info;
    }

    ComApartment apartment;
    std::wstring server = setting(L"VARNOK_SERVER_EXE");
    ComPtr<ITypeLib> library;
};

TEST_F(TypeLibraryTest, LibraryIdentity)
{
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, LIBID_VarnokSrv));
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    EXPECT_EQ(attr->lcid, 0u);
#ifdef _WIN64
    EXPECT_EQ(attr->syskind, SYS_WIN64);
#else
    EXPECT_EQ(attr->syskind, SYS_WIN32);
#endif
    // FHASDISKIMAGE is the loader's note that the library came from a file, not an authored flag.
    EXPECT_EQ(attr->wLibFlags & ~LIBFLAG_FHASDISKIMAGE, 0);
    library->ReleaseTLibAttr(attr);

    Bstr name;
    ASSERT_EQ(library->GetDocumentation(-1, name.put(), nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(std::wstring(wideView(name.view())), L"VarnokSrv");
    EXPECT_EQ(library->GetTypeInfoCount(), 2u);
}

TEST_F(TypeLibraryTest, CoclassIsCreatableWithTheDefaultInterface)
{
    ComPtr<ITypeInfo> coclass = infoOf(CLSID_FileReader);
    ASSERT_TRUE(coclass);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(coclass->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_COCLASS);
    EXPECT_EQ(attr->wTypeFlags, TYPEFLAG_FCANCREATE);
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->cImplTypes, 1);
    coclass->ReleaseTypeAttr(attr);

    INT flags = 0;
    ASSERT_EQ(coclass->GetImplTypeFlags(0, &flags), S_OK);
    EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
    HREFTYPE ref = 0;
    ComPtr<ITypeInfo> implemented;
    ASSERT_EQ(coclass->GetRefTypeOfImplType(0, &ref), S_OK);
    ASSERT_EQ(coclass->GetRefTypeInfo(ref, implemented.put()), S_OK);
    Bstr name;
    implemented->GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr);
    EXPECT_EQ(std::wstring(wideView(name.view())), L"_FileReader");
}

TEST_F(TypeLibraryTest, InterfaceMembersInVtableOrder)
{
    ComPtr<ITypeInfo> dispatch = infoOf(IID__FileReader);
    ASSERT_TRUE(dispatch);
    // A dual interface: the dispinterface refers to its vtable half through href -1.
    HREFTYPE ref = 0;
    ComPtr<ITypeInfo> vtable;
    ASSERT_EQ(dispatch->GetRefTypeOfImplType(-1, &ref), S_OK);
    ASSERT_EQ(dispatch->GetRefTypeInfo(ref, vtable.put()), S_OK);

    TYPEATTR* attr = nullptr;
    ASSERT_EQ(vtable->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
    EXPECT_EQ(attr->wTypeFlags, TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE |
                                    TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE);
    EXPECT_EQ(attr->cFuncs, 34);
    EXPECT_EQ(attr->cVars, 0);
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->cbSizeVft, (7 + 34) * sizeof(void*));
    vtable->ReleaseTypeAttr(attr);

    ComPtr<ITypeInfo> base;
    ASSERT_EQ(vtable->GetRefTypeOfImplType(0, &ref), S_OK);
    ASSERT_EQ(vtable->GetRefTypeInfo(ref, base.put()), S_OK);
    Bstr baseName;
    base->GetDocumentation(MEMBERID_NIL, baseName.put(), nullptr, nullptr, nullptr);
    EXPECT_EQ(std::wstring(wideView(baseName.view())), L"IDispatch");

    for (UINT i = 0; i < members.size(); ++i) {
        const Member& expected = members[i];
        FUNCDESC* func = nullptr;
        ASSERT_EQ(vtable->GetFuncDesc(i, &func), S_OK);
        std::vector<BSTR> names(8);
        UINT count = 0;
        vtable->GetNames(func->memid, names.data(), 8, &count);
        std::vector<std::wstring> got;
        for (UINT n = 0; n < count; ++n)
            got.emplace_back(wideView(Bstr::attach(names[n]).view()));

        SCOPED_TRACE(utf8(expected.name));
        ASSERT_FALSE(got.empty());
        EXPECT_EQ(got[0], expected.name);
        EXPECT_EQ(func->memid, expected.id);
        EXPECT_EQ(func->invkind, expected.kind);
        EXPECT_EQ(func->funckind, FUNC_PUREVIRTUAL);
        EXPECT_EQ(func->callconv, CC_STDCALL);
        EXPECT_EQ(func->oVft, static_cast<SHORT>((7 + i) * sizeof(void*)));
        EXPECT_EQ(func->wFuncFlags, 0);
        EXPECT_EQ(func->cParamsOpt, 0);
        EXPECT_EQ(func->elemdescFunc.tdesc.vt, VT_HRESULT);

        const std::size_t total = expected.parameters.size() + (expected.returnsValue ? 1 : 0);
        ASSERT_EQ(static_cast<std::size_t>(func->cParams), total);
        for (std::size_t p = 0; p < expected.parameters.size(); ++p) {
            EXPECT_EQ(func->lprgelemdescParam[p].tdesc.vt, VT_BSTR);
            EXPECT_EQ(func->lprgelemdescParam[p].paramdesc.wParamFlags, PARAMFLAG_FIN);
            ASSERT_GT(got.size(), p + 1);
            EXPECT_EQ(got[p + 1], expected.parameters[p]);
        }
        if (expected.returnsValue) {
            const ELEMDESC& value = func->lprgelemdescParam[total - 1];
            EXPECT_EQ(value.tdesc.vt, VT_PTR);
            EXPECT_EQ(value.tdesc.lptdesc->vt, VT_BSTR);
            EXPECT_EQ(value.paramdesc.wParamFlags, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL);
        }
        vtable->ReleaseFuncDesc(func);
    }
}

TEST_F(TypeLibraryTest, InterfaceResourceHoldsLengthAndIid)
{
    HMODULE module = LoadLibraryExW(server.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(module);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), L"_IID_FILEREADER");
    ASSERT_TRUE(found);
    ASSERT_EQ(SizeofResource(module, found), 20u);
    const auto* bytes = static_cast<const unsigned char*>(LockResource(LoadResource(module, found)));
    DWORD length = 0;
    memcpy(&length, bytes, 4);
    EXPECT_EQ(length, 16u);
    EXPECT_EQ(memcmp(bytes + 4, &IID__FileReader, 16), 0);
    FreeLibrary(module);
}

// Without a manifest, UAC would virtualise result files under Program Files into a VirtualStore.
TEST_F(TypeLibraryTest, ManifestRunsAsInvokerOnSupportedSystems)
{
    HMODULE module = LoadLibraryExW(server.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(module);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_TRUE(found);
    const auto* bytes = static_cast<const char*>(LockResource(LoadResource(module, found)));
    const std::string manifest(bytes, SizeofResource(module, found));
    FreeLibrary(module);
    EXPECT_NE(manifest.find(R"(<requestedExecutionLevel level="asInvoker" uiAccess="false"/>)"), std::string::npos);
    for (const char* os : {"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                           "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"})
        EXPECT_NE(manifest.find(std::string("<supportedOS Id=\"") + os + "\"/>"), std::string::npos) << os;
}

TEST_F(TypeLibraryTest, VersionRecord)
{
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(server.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoW(server.c_str(), 0, size, data.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    // The project's version (CMakeLists.txt): major.minor in the high word, the patch level in the low one.
    const DWORD high = (VARNOK_VERSION_MAJOR << 16) | VARNOK_VERSION_MINOR;
    const DWORD low = VARNOK_VERSION_PATCH;
    EXPECT_EQ(fixed->dwFileVersionMS, high);
    EXPECT_EQ(fixed->dwFileVersionLS, low);
    EXPECT_EQ(fixed->dwProductVersionMS, high);
    EXPECT_EQ(fixed->dwProductVersionLS, low);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &length));
    EXPECT_EQ(translation[0], 1033);
    EXPECT_EQ(translation[1], 1200);

    const std::pair<const wchar_t*, const wchar_t*> strings[] = {
        {L"FileVersion", L"" VARNOK_VERSION_TEXT},  {L"ProductVersion", L"" VARNOK_VERSION_TEXT},
        {L"ProductName", L"Varnok"},     {L"InternalName", L"VarnokSrv"},
        {L"OriginalFilename", L"VarnokSrv.exe"}, {L"OLESelfRegister", L""},
    };
    for (const auto& [key, value] : strings) {
        wchar_t* text = nullptr;
        const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + key;
        ASSERT_TRUE(VerQueryValueW(data.data(), path.c_str(), reinterpret_cast<void**>(&text), &length))
            << utf8(key);
        EXPECT_EQ(std::wstring(text), value) << utf8(key);
    }
}

}  // namespace
}  // namespace varnok::test

namespace varnok::test {
namespace {

// The ImageReader library is resource 2 of the same EXE; resource 1 above is untouched by it.
TEST(ImageReaderTypeLibrary, IsResourceTwoWithOneDualInterfaceAndItsClass)
{
    ComApartment apartment;
    ComPtr<ITypeLib> library;
    ASSERT_EQ(LoadTypeLibEx((setting(L"VARNOK_SERVER_EXE") + L"\\2").c_str(), REGKIND_NONE, library.put()), S_OK);
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, LIBID_VarnokSrvImage));
    EXPECT_EQ(attr->wMajorVerNum, 1);
    library->ReleaseTLibAttr(attr);
    EXPECT_EQ(library->GetTypeInfoCount(), 2u);

    ComPtr<ITypeInfo> dispatch;
    ASSERT_EQ(library->GetTypeInfoOfGuid(IID__ImageReader, dispatch.put()), S_OK);
    TYPEATTR* type = nullptr;
    ASSERT_EQ(dispatch->GetTypeAttr(&type), S_OK);
    EXPECT_EQ(type->typekind, TKIND_DISPATCH);
    EXPECT_TRUE(type->wTypeFlags & TYPEFLAG_FDUAL);
    EXPECT_EQ(type->cFuncs, 8);  // IDispatch's seven and ReadCodet
    dispatch->ReleaseTypeAttr(type);
    BSTR raw[2] = {};
    UINT count = 0;
    ASSERT_EQ(dispatch->GetNames(0x60030000, raw, 2, &count), S_OK);
    const Bstr method = Bstr::attach(raw[0]), parameter = Bstr::attach(raw[1]);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(std::wstring(wideView(method.view())), L"ReadCodet");
    EXPECT_EQ(std::wstring(wideView(parameter.view())), L"ImagePath");

    ComPtr<ITypeInfo> coclass;
    ASSERT_EQ(library->GetTypeInfoOfGuid(CLSID_ImageReader, coclass.put()), S_OK);
}

}  // namespace
}  // namespace varnok::test
