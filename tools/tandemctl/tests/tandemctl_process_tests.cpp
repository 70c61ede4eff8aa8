#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "catalog_files.h"
#include "catalog_format.h"
#include "error.h"
#include "module_path.h"
#include "testing/machine_lock.h"
#include "unique_resource.h"
#include "variant.h"

using namespace tandem;
using namespace tandem::catalog;

namespace {

constexpr DWORD kExitLimit = 60000;

struct Outcome {
    DWORD exitCode = STILL_ACTIVE;
    std::string out;
    std::string err;
};

UniqueHandle OutputFile(const std::wstring& path) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) ThrowLastError();
    return file;
}

std::string Contents(const std::wstring& path) {
    const auto bytes = ReadWholeFile(path);
    return bytes ? std::string(reinterpret_cast<const char*>(bytes->data()), bytes->size()) : std::string();
}

// A program as a person runs it, with what it wrote.
Outcome RunProgram(const std::wstring& program, const std::wstring& arguments) {
    const std::wstring directory = ModuleDirectory(nullptr);
    const std::wstring outPath = directory + L"tandemctl_test.out";
    const std::wstring errPath = directory + L"tandemctl_test.err";
    Outcome outcome;
    {
        UniqueHandle out = OutputFile(outPath);
        UniqueHandle err = OutputFile(errPath);
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = out.get();
        startup.hStdError = err.get();
        std::wstring commandLine = L"\"" + directory + program + L"\" " + arguments;
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, directory.c_str(),
                            &startup, &process))
            ThrowLastError();
        UniqueHandle processHandle(process.hProcess);
        UniqueHandle threadHandle(process.hThread);
        if (WaitForSingleObject(processHandle.get(), kExitLimit) != WAIT_OBJECT_0) {
            TerminateProcess(processHandle.get(), 1);
            ADD_FAILURE() << "the program did not exit";
            return outcome;
        }
        GetExitCodeProcess(processHandle.get(), &outcome.exitCode);
    }
    outcome.out = Contents(outPath);
    outcome.err = Contents(errPath);
    return outcome;
}

Outcome RunTandemctl(const std::wstring& arguments) { return RunProgram(L"tandemctl.exe", arguments); }

// Writes the test's own catalog where the plug-in keeps them, and removes it.
class PlantedCatalog {
public:
    explicit PlantedCatalog(const Catalog& catalog)
        : file_(CatalogFileName(DefaultCatalogDirectory(), catalog.root)) {
        ReplaceFile(file_, SerializeCatalog(catalog));
    }
    PlantedCatalog(const PlantedCatalog&) = delete;
    PlantedCatalog& operator=(const PlantedCatalog&) = delete;
    ~PlantedCatalog() { RemoveFile(file_); }
    const std::wstring& File() const { return file_; }

private:
    std::wstring file_;
};

// The program's output files and the catalog folder are shared with the
// other process tests.
class TandemctlProcess : public ::testing::Test {
    test::MachineLock lock_{L"Local\\TandemProcessTests"};
};

}  // namespace

TEST_F(TandemctlProcess, HelpForEveryCommandAndClearUsageErrors) {
    for (const wchar_t* command : {L"", L"--help", L"register --help", L"watch --help", L"add-storage --help"}) {
        const Outcome help = RunTandemctl(command);
        EXPECT_EQ(help.exitCode, 0u) << command;
        EXPECT_NE(help.out.find("usage: tandemctl"), std::string::npos) << command;
    }
    const Outcome unknown = RunTandemctl(L"frobnicate");
    EXPECT_EQ(unknown.exitCode, 2u);
    EXPECT_EQ(unknown.err, "tandemctl: unknown command \"frobnicate\" (see tandemctl --help)\n");
    const Outcome badBehavior = RunTandemctl(L"register Music C:\\ --behavior sometimes");
    EXPECT_EQ(badBehavior.exitCode, 2u);
    EXPECT_NE(badBehavior.err.find("--behavior must be monitor, ignore or once"), std::string::npos);
}

TEST_F(TandemctlProcess, WithoutTheServiceEveryClientCommandSaysSoWithTheCode) {
    ASSERT_EQ(RunProgram(L"tandem.exe", L"/UnregServer").exitCode, 0u);
    for (const wchar_t* command : {L"list", L"status", L"storages", L"watch", L"refresh C:\\"}) {
        const Outcome outcome = RunTandemctl(command);
        EXPECT_EQ(outcome.exitCode, 1u) << command;
        // Class not registered; under Wine a server an earlier test ended can
        // still stand for the class, and then the server is unavailable.
        const bool unregistered = outcome.err.find("cannot reach the tandem service: 0x80040154") != std::string::npos;
        const bool unavailable = outcome.err.find("cannot reach the tandem service: 0x800706BA") != std::string::npos;
        EXPECT_TRUE(unregistered || unavailable) << command << ": " << outcome.err;
        EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
    }
}

TEST_F(TandemctlProcess, CatalogAndPropsReadWhatThePluginWrote) {
    Catalog catalog{L"C:\\Demo Caf\u00e9", {}};
    SYSTEMTIME time{2025, 7, 0, 14, 9, 30, 5, 0};
    DATE date = 0;
    SystemTimeToVariantTime(&time, &date);
    Variant dateValue;
    V_VT(dateValue.ptr()) = VT_DATE;
    V_DATE(dateValue.ptr()) = date;
    catalog.entries[L"C:\\Demo Caf\u00e9\\b\u00e4r one.jpg"] = CatalogEntry{
        42, date, {{500, VT_BSTR, L"C:\\Demo Caf\u00e9\\b\u00e4r one.jpg"}, {7, VT_R8, L"35.681167000000002"},
                   {8, VT_DATE, FormatValue(dateValue.get())}, {9, VT_I4, L"-3"}}};
    catalog.entries[L"C:\\Demo Caf\u00e9\\Sub\\c.txt"] = CatalogEntry{1, date, {}};
    const PlantedCatalog planted(catalog);

    const Outcome all = RunTandemctl(L"catalog");
    EXPECT_EQ(all.exitCode, 0u);
    EXPECT_NE(all.out.find("C:\\Demo Caf\xc3\xa9\\b\xc3\xa4r one.jpg\t42\t2025-07-14T09:30:05\n"), std::string::npos)
        << all.out;
    const Outcome below = RunTandemctl(L"catalog \"C:\\Demo Caf\u00e9\\Sub\"");
    EXPECT_EQ(below.out, "C:\\Demo Caf\xc3\xa9\\Sub\\c.txt\t1\t2025-07-14T09:30:05\n");

    const Outcome props = RunTandemctl(L"props \"C:\\demo caf\u00e9\\B\u00c4R one.jpg\"");
    EXPECT_EQ(props.exitCode, 0u);
    EXPECT_EQ(props.out,
              "500\tVT_BSTR\tC:\\Demo Caf\xc3\xa9\\b\xc3\xa4r one.jpg\n"
              "7\tVT_R8\t35.681167\n"
              "8\tVT_DATE\t2025-07-14T09:30:05\n"
              "9\tVT_I4\t-3\n");
    const Outcome missing = RunTandemctl(L"props C:\\nowhere.jpg");
    EXPECT_EQ(missing.exitCode, 1u);
    EXPECT_NE(missing.err.find("is not in the catalog: 0x80070002"), std::string::npos) << missing.err;

    // A catalog cut short by hand: the reader keeps what it can and says so.
    auto bytes = *ReadWholeFile(planted.File());
    bytes.resize(bytes.size() - 3);
    ReplaceFile(planted.File(), std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    const Outcome damaged = RunTandemctl(L"catalog");
    EXPECT_EQ(damaged.exitCode, 0u);
    EXPECT_NE(damaged.err.find("is damaged; 1 line(s) could not be read"), std::string::npos) << damaged.err;
    EXPECT_NE(damaged.out.find("b\xc3\xa4r one.jpg"), std::string::npos);
}
