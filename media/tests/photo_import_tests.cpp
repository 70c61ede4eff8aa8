#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>

#include "MarloZephFw.h"
#include "TandemPlugin.h"
#include "bstr.h"
#include "com/class_object_registration.h"
#include "com/com_object.h"
#include "com/type_library_registration.h"
#include "event_sink.h"
#include "exif_writer.h"
#include "folder_keys.h"
#include "module_path.h"
#include "plugin_manager.h"
#include "registry.h"
#include "safe_array.h"
#include "service_singletons.h"
#include "strings.h"
#include "sync_lock.h"
#include "testing/com_apartment.h"
#include "testing/registry_sandbox.h"
#include "testing/test_drive.h"

namespace tandem::test {
namespace {

constexpr CLSID kPropertyPluginClass = {0x3D8E5A71, 0x2C44, 0x4B9F, {0x9A, 0x61, 0x7E, 0x10, 0x4F, 0x22, 0x00, 0x17}};
constexpr DWORD kEventWait = 20000;

// What GetAllProperties gave for each imported path, signalled per import.
class PropertyLog {
public:
    PropertyLog() : signal_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
        if (!signal_) ThrowLastError();
    }

    void Add(const std::wstring& path, std::map<LONG, Variant> properties) {
        {
            CSyncLockHolder hold(lock_);
            imports_[path] = std::move(properties);
        }
        SetEvent(signal_.get());
    }

    std::optional<std::map<LONG, Variant>> WaitFor(const std::wstring& path, DWORD milliseconds) {
        const ULONGLONG deadline = GetTickCount64() + milliseconds;
        for (;;) {
            {
                CSyncLockHolder hold(lock_);
                const auto found = imports_.find(path);
                if (found != imports_.end()) return found->second;
            }
            const ULONGLONG now = GetTickCount64();
            if (now >= deadline) return std::nullopt;
            WaitForSingleObject(signal_.get(), static_cast<DWORD>(deadline - now));
        }
    }

private:
    const UniqueHandle signal_;
    CSyncLock lock_;
    std::map<std::wstring, std::map<LONG, Variant>> imports_;
};

// A content plug-in that asks every imported content for all its properties.
class PropertyPlugin : public ComObjectRoot, public ITandemPlugin {
public:
    using Interfaces = InterfaceTable<ITandemPlugin, Via<IDispatch, ITandemPlugin>>;

    explicit PropertyPlugin(PropertyLog& log) noexcept : log_(log) {}

    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    STDMETHODIMP Open(BSTR, SAFEARRAY*) override { return S_OK; }
    STDMETHODIMP Close() override { return S_OK; }
    STDMETHODIMP ImportContent(ITandemContent* content) override {
        if (!content) return E_POINTER;
        return CatchHr([&] {
            Bstr path;
            CheckHr(content->get_Path(path.put()));
            SAFEARRAY* raw = nullptr;
            CheckHr(content->GetAllProperties(&raw));
            const SafeArray array(raw);
            std::map<LONG, Variant> properties;
            const SafeArrayAccess access(array.get());
            const auto* element = access.data<TandemProperty>();
            for (ULONG i = 0; i < array.get()->rgsabound[0].cElements; ++i)
                properties.emplace(element[i].ID, Variant::Copy(element[i].Value));
            log_.Add(path.str(), std::move(properties));
        });
    }
    STDMETHODIMP ImportFolder(ITandemFolder*) override { return S_OK; }
    STDMETHODIMP RefreshFolder(ITandemFolder*, ITandemProgressNotifier*) override { return S_OK; }
    STDMETHODIMP DeleteContent(BSTR) override { return S_OK; }
    STDMETHODIMP DeleteFolder(BSTR, ITandemProgressNotifier*) override { return S_OK; }
    STDMETHODIMP RenameContent(BSTR, ITandemContent*) override { return S_OK; }
    STDMETHODIMP RenameFolder(BSTR, ITandemFolder*, ITandemProgressNotifier*) override { return S_OK; }
    STDMETHODIMP UpdateFolder(ITandemFolder*, SAFEARRAY*, ITandemProgressNotifier*) override { return S_OK; }

private:
    PropertyLog& log_;
};

class PropertyPluginFactory : public ComObjectRoot, public IClassFactory {
public:
    using Interfaces = InterfaceTable<IClassFactory>;
    static constexpr bool kLocksModule = false;

    explicit PropertyPluginFactory(PropertyLog& log) noexcept : log_(log) {}

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        return CreateComInstance<PropertyPlugin>(outer, iid, out, log_);
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

private:
    PropertyLog& log_;
};

LONG LongArgument(const Call& call, size_t index) {
    if (index >= call.arguments.size()) return -1;
    const VARIANT& value = call.arguments[index].get();
    return V_VT(&value) == VT_I4 ? V_I4(&value) : -1;
}

bool IsMonitoringStarted(const Call& call) {
    if (call.member != 1 || LongArgument(call, 0) != tnFolderStatusType_Monitoring || call.arguments.size() < 4)
        return false;
    const VARIANT& value = call.arguments[3].get();
    return V_VT(&value) == VT_BOOL && V_BOOL(&value) == VARIANT_TRUE;
}

bool WaitForMonitoring(RecordingSink& sink) {
    for (size_t seen = 0;;) {
        const std::vector<Call> calls = sink.Calls();
        for (; seen < calls.size(); ++seen)
            if (IsMonitoringStarted(calls[seen])) return true;
        if (!sink.WaitForCalls(seen + 1, kEventWait)) return false;
    }
}

kelp::test::GpsFields TokyoPhotograph() {
    kelp::test::GpsFields fields;
    fields.latitudeRef = "N";
    fields.latitude = kelp::test::Dms(35, 39, 28.8);
    fields.longitudeRef = "E";
    fields.longitude = kelp::test::Dms(139, 44, 27.6);
    fields.altitudeRef = 0;
    fields.altitude = kelp::test::Rational{405, 10};
    fields.mapDatum = "TOKYO";
    return fields;
}

// The service's managers in a private registry on a test drive, one
// registered folder watched by the property plug-in.
class PhotoImportTest : public ::testing::Test {
protected:
    PhotoImportTest() {
        RegisterTypeLibrary(ModuleDirectory(nullptr) + L"TandemPlugin.dll", RegistrationScope::Machine);
        RegKey plugin =
            CreateKey(HKEY_LOCAL_MACHINE, std::wstring(kProductKey) + L"\\" + kPluginSubKey + L"\\Properties");
        WriteString(plugin.get(), L"CLSID", GuidToString(kPropertyPluginClass));
        if (!CreateDirectoryW(watched_.c_str(), nullptr)) ThrowLastError();
        automation_.RegisteredFolderEvents().Add(NewSink(DIID__ITnRegisteredFolderEvents, &folderSink_).get());
    }

    ComApartment apartment_;
    RegistrySandbox sandbox_;
    RegKey watcherKey_ = CreateKey(HKEY_LOCAL_MACHINE, kWatcherKey);
    RegKey folderList_ = CreateKey(HKEY_LOCAL_MACHINE, kFolderListKey);
    RegKey olderList_ = CreateKey(HKEY_LOCAL_MACHINE, kOlderFolderListKey);
    RegKey storageList_ = CreateKey(HKEY_LOCAL_MACHINE, kStorageListKey);
    PropertyLog log_;
    ClassObjectRegistration plugin_ =
        RegisterClassObject(kPropertyPluginClass, MakeComObject<PropertyPluginFactory>(log_).get(),
                            CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE);
    TestDrive drive_{L'E', DRIVE_FIXED};
    const std::wstring watched_ = drive_.Root() + L"Photos";
    ServiceSingletons singletons_{nullptr};
    AutomationContext& automation_ = singletons_.Automation();
    ComPtr<ComObject<RecordingSink>> folderSink_;
};

TEST_F(PhotoImportTest, APhotographDroppedIntoAWatchedFolderReachesThePluginWithItsPosition) {
    StorageManager& storages = singletons_.Storages();
    SharedPtr<StorageInfo> storage = storages.FindOrCreateStorage(drive_.Root(), L"", L"");
    storages.RegisterStorage(storage);
    RegisteredFolderManager& folders = singletons_.Folders();
    const SharedPtr<RegisteredFolder> folder = folders.CreateFolder(*storage, L"Photos", L"Photos\\");
    folders.RegisterFolder(folder, *storage);
    storage->Start(false);
    ASSERT_TRUE(WaitForMonitoring(*folderSink_));

    // Monitoring is announced just before the reads are armed: a change in
    // between is missed, so a few photographs may be needed.
    const auto photo = kelp::test::JpegWithExif(
        kelp::test::GpsTiff(TokyoPhotograph(), kelp::test::ByteOrder::Big).Build());
    std::optional<std::map<LONG, Variant>> properties;
    for (int attempt = 0; attempt < 5 && !properties; ++attempt) {
        const std::wstring path = watched_ + L"\\photo" + std::to_wstring(attempt) + L".jpg";
        kelp::test::WriteBytes(path, photo);
        properties = log_.WaitFor(path, 3 * CChangeNotificator::kSettleDelay);
    }
    ASSERT_TRUE(properties);
    for (LONG id : {232, 404, 405, 406}) EXPECT_TRUE(properties->contains(id)) << id;
    const VARIANT& datum = properties->at(232).get();
    ASSERT_EQ(V_VT(&datum), VT_BSTR);
    EXPECT_STREQ(V_BSTR(&datum), L"WGS84");
    const VARIANT& latitude = properties->at(404).get();
    ASSERT_EQ(V_VT(&latitude), VT_R8);
    EXPECT_NEAR(V_R8(&latitude), 35.658 + 11.65969 / 3600, 1e-8);

    // A file without GPS data gets none of them.
    const std::wstring plain = watched_ + L"\\plain.jpg";
    kelp::test::WriteBytes(plain, kelp::test::JpegWithExif(kelp::test::TiffWriter(kelp::test::ByteOrder::Little).Build()));
    const auto plainProperties = log_.WaitFor(plain, 3 * CChangeNotificator::kSettleDelay);
    ASSERT_TRUE(plainProperties);
    for (LONG id : {232, 404, 405, 406, 418}) EXPECT_FALSE(plainProperties->contains(id)) << id;

    storage->Stop();
}

}  // namespace
}  // namespace tandem::test
