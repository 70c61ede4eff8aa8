// The built module, as the framework and an installer meet it.

#include <gtest/gtest.h>

#include "ZephCsVltFile.h"
#include "module_path.h"
#include "protected_audio_fixture.h"
#include "registry.h"
#include "strings.h"
#include "unique_resource.h"

namespace tandem::protected_audio::test {
namespace {

using ClassInfoFunction = HRESULT(STDAPICALLTYPE*)(LONG, CLSID*, LONG*, LONG*);
using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadFunction = HRESULT(STDAPICALLTYPE*)();

std::wstring ModuleFile() { return ModuleDirectory(nullptr) + L"ZephCsVltFile.zephcs"; }

template <class F>
F Export(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

DWORD RunProgram(std::wstring commandLine) {
    STARTUPINFOW startup{sizeof(startup)};
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return GetLastError();
    UniqueHandle processHandle(process.hProcess);
    UniqueHandle thread(process.hThread);
    if (WaitForSingleObject(processHandle.get(), 60000) != WAIT_OBJECT_0) return WAIT_TIMEOUT;
    DWORD code = 1;
    GetExitCodeProcess(processHandle.get(), &code);
    return code;
}

TEST(Module, ClassInfoWritesWhatItCan) {
    UniqueModule module(LoadLibraryW(ModuleFile().c_str()));
    ASSERT_TRUE(module);
    auto classInfo = Export<ClassInfoFunction>(module.get(), "ZephCsGetClassInfo");
    ASSERT_TRUE(classInfo);
    CLSID clsid = GUID_NULL;
    LONG kind = 0, carrier = 0;
    EXPECT_EQ(classInfo(0, &clsid, &kind, &carrier), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_ZephCsVltFileClass));
    EXPECT_EQ(kind, 1);
    EXPECT_EQ(carrier, 2);

    clsid = GUID_NULL;
    carrier = 0;
    EXPECT_EQ(classInfo(0, &clsid, nullptr, &carrier), E_POINTER);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_ZephCsVltFileClass));
    EXPECT_EQ(carrier, 2);
    kind = 0;
    EXPECT_EQ(classInfo(0, nullptr, &kind, nullptr), E_POINTER);
    EXPECT_EQ(kind, 1);
}

TEST(Module, ServesItsFourClassesAndUnloadsWhenIdle) {
    tandem::test::ComApartment apartment;
    UniqueModule module(LoadLibraryW(ModuleFile().c_str()));
    ASSERT_TRUE(module);
    auto getClassObject = Export<GetClassObjectFunction>(module.get(), "DllGetClassObject");
    auto canUnload = Export<CanUnloadFunction>(module.get(), "DllCanUnloadNow");
    ASSERT_TRUE(getClassObject && canUnload);
    {
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(getClassObject(CLSID_ZephCsVltFileBinaryProperty, IID_IClassFactory, factory.put_void()), S_OK);
        ComPtr<IZephCsBinaryProperty> picture;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IZephCsBinaryProperty, picture.put_void()), S_OK);
        EXPECT_EQ(canUnload(), S_FALSE);
        LONG size = 0;
        BYTE* data = nullptr;
        EXPECT_EQ(picture->GetData(&size, &data), E_FAIL);
        ComPtr<IZephCsObject> object;
        ASSERT_EQ(getClassObject(CLSID_ZephCsVltFileObject, IID_IClassFactory, factory.put_void()), S_OK);
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IZephCsObject, object.put_void()), S_OK);
        EXPECT_EQ(object->OpenObject(1), E_FAIL);
        ComPtr<IZephCsPlayer> player;
        ASSERT_EQ(getClassObject(CLSID_ZephCsVltFileConverter, IID_IClassFactory, factory.put_void()), S_OK);
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IZephCsPlayer, player.put_void()), S_OK);
        EXPECT_EQ(player->Play(), E_FAIL);
        // The class starts its library; none is installed here.
        ComPtr<IZephCsClass> source;
        ASSERT_EQ(getClassObject(CLSID_ZephCsVltFileClass, IID_IClassFactory, factory.put_void()), S_OK);
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_IZephCsClass, source.put_void()), REGDB_E_CLASSNOTREG);
        ComPtr<IUnknown> none;
        EXPECT_EQ(getClassObject(CLSID_VltLibrary, IID_IClassFactory, none.put_void()), CLASS_E_CLASSNOTAVAILABLE);
    }
    EXPECT_EQ(canUnload(), S_OK);
}

// Another process registers the module the way an installer does.
TEST(Module, RegistersThroughRegsvr32) {
    const std::wstring classKey = L"CLSID\\" + GuidToString(CLSID_ZephCsVltFileClass);
    ASSERT_EQ(RunProgram(L"regsvr32.exe /s \"" + ModuleFile() + L"\""), 0u);
    {
        RegKey server = OpenKey(HKEY_CLASSES_ROOT, classKey + L"\\InprocServer32");
        EXPECT_TRUE(EqualsNoCase(ReadString(server.get(), L"ThreadingModel"), L"Both"));
        EXPECT_TRUE(EqualsNoCase(ReadString(server.get(), L""), ModuleFile()));
        RegKey appId = OpenKey(HKEY_CLASSES_ROOT, L"AppID\\ZephCsVltFile.ZEPHCS");
        std::wstring id = ReadString(appId.get(), L"AppID");
        EXPECT_EQ(ReadString(OpenKey(HKEY_CLASSES_ROOT, L"AppID\\" + id).get(), L""), L"ZephCsVltFile");
        for (const wchar_t* progId : {L"ZephCsVltFile.ZephCsVltFileObject.1", L"ZephCsVltFile.ZephCsVltFileConverter",
                                      L"ZephCsVltFile.ZephCsVltFileBinaryProperty.1"})
            EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, progId)) << std::string(progId, progId + wcslen(progId));
        EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"TypeLib\\" + GuidToString(LIBID_ZephCsVltFileLib) + L"\\1.0"));
    }
    ASSERT_EQ(RunProgram(L"regsvr32.exe /s /u \"" + ModuleFile() + L"\""), 0u);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, classKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"ZephCsVltFile.ZephCsVltFileClass.1"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"AppID\\ZephCsVltFile.ZEPHCS"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"TypeLib\\" + GuidToString(LIBID_ZephCsVltFileLib)));
}

}  // namespace
}  // namespace tandem::protected_audio::test
