#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>

#include "module_path.h"
#include "riff_scan.h"
#include "scan_fixtures.h"
#include "temp_folder.h"
#include "unique_resource.h"

using namespace tandem;
using namespace tandem::riffscan;
using namespace tandem::riffscan::test;

namespace {

// The reader as a client of another compiler lays it out: a pointer to a
// table of 21 plain functions taking the object first.
struct Object;
struct Slots {
    void (*destroy)(Object*);
    std::uint32_t (*values1to14[14])(Object*);
    std::uint64_t (*audioLength)(Object*);
    std::uint32_t (*values16to19[4])(Object*);
    Object* (*deletingDestructor)(Object*, unsigned int);
};
struct Object {
    const Slots* slots;
};
static_assert(sizeof(Slots) == 21 * sizeof(void*));

// Every slot gives a value of its own in this file.
Bytes SlotFile() {
    const Stream video{Strh({.type = FourCc("vids"), .handler = FourCc("XVID"), .length = 1234, .quality = 9000}),
                       BitmapInfo(352, 288, 0), SuperIndex({600, 634})};
    const Stream audio{Strh({.type = FourCc("auds"), .length = 1}),
                       Extensible(6, 22050, 24, 0x3F, GuidBytes(GUID{STATIC_KSDATAFORMAT_SUBTYPE_IEEE_FLOAT})),
                       SuperIndex({0xFFFF'FFFF, 0xFFFF'FFFF, 0xFFFF'FFFF})};
    return MakeAvi(Avih({.microSecPerFrame = 41708, .streams = 2, .width = 704, .height = 576}), {video, audio});
}

// Slot number to value, for slots 1 to 19 (DV slots 11 to 13 are 0 here).
const std::map<int, std::uint64_t> kSlotValues{
    {1, 1},     {2, 1},      {3, 41708}, {4, 2},   {5, 0},     {6, FourCc("XVID")},    {7, 1234},
    {8, 704},   {9, 576},    {10, 9000}, {11, 0},  {12, 0},    {13, 0},                {14, 3},
    {15, 3ull * 0xFFFF'FFFF}, {16, 6},   {17, 22050}, {18, 24}, {19, 0x3F},
};

std::map<int, std::uint64_t> ReadSlots(Object* object) {
    std::map<int, std::uint64_t> values;
    for (int i = 0; i < 14; ++i) values[i + 1] = object->slots->values1to14[i](object);
    values[15] = object->slots->audioLength(object);
    for (int i = 0; i < 4; ++i) values[i + 16] = object->slots->values16to19[i](object);
    return values;
}

// Runs the C client on a file; its output, and false when it did not run.
bool RunClient(const std::wstring& file, const wchar_t* release, std::string& output) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return false;
    UniqueHandle reader(readEnd);
    UniqueHandle writer(writeEnd);
    SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writer.get();
    startup.hStdError = writer.get();
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::wstring command = L"\"" + ModuleDirectory(nullptr) + L"riffscan_client.exe\" \"" + file + L"\" " + release;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return false;
    UniqueHandle processHandle(process.hProcess);
    UniqueHandle threadHandle(process.hThread);
    writer.reset();

    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(reader.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) output.append(buffer, read);
    WaitForSingleObject(processHandle.get(), 60'000);
    DWORD exitCode = 1;
    GetExitCodeProcess(processHandle.get(), &exitCode);
    return exitCode == 0;
}

class RiffScanAbi : public ::testing::Test {
protected:
    TempFolder folder_;
    std::wstring file_ = folder_.Write(L"slots.avi", SlotFile());
};

}  // namespace

TEST_F(RiffScanAbi, EverySlotThroughAPlainFunctionTable) {
    IRiffScan* reader = nullptr;
    ASSERT_EQ(CreateRiffScan(file_.c_str(), &reader), kRiffScanOk);
    auto* object = reinterpret_cast<Object*>(reader);
    EXPECT_EQ(ReadSlots(object), kSlotValues);
    // Slot 0 releases the reader.
    object->slots->destroy(object);

    reader = nullptr;
    ASSERT_EQ(CreateRiffScan(file_.c_str(), &reader), kRiffScanOk);
    object = reinterpret_cast<Object*>(reader);
    EXPECT_EQ(object->slots->values1to14[2](object), 41708u);
    // Slot 20, the deleting destructor, frees with bit 0 and returns the object.
    EXPECT_EQ(object->slots->deletingDestructor(object, 1), object);
}

TEST_F(RiffScanAbi, ClientWrittenInCReadsEverySlot) {
    for (const wchar_t* release : {L"destroy", L"delete"}) {
        SCOPED_TRACE(::testing::Message() << (release[1] == L'e' ? "slot 20" : "slot 0"));
        std::string output;
        ASSERT_TRUE(RunClient(file_, release, output)) << output;
        std::istringstream lines(output);
        std::string word;
        int code = -1;
        lines >> word >> code;
        ASSERT_EQ(word, "code");
        ASSERT_EQ(code, kRiffScanOk);
        std::map<int, std::uint64_t> values;
        int slot = 0;
        std::uint64_t value = 0;
        for (int i = 1; i <= 19 && lines >> word >> slot >> value; ++i) values[slot] = value;
        EXPECT_EQ(values, kSlotValues);
        if (std::wstring(release) == L"delete") {
            lines >> word >> slot >> word;
            EXPECT_EQ(slot, 20);
            EXPECT_EQ(word, "self");
        }
    }

    std::string output;
    ASSERT_TRUE(RunClient(folder_.Path() + L"\\none.avi", L"destroy", output));
    EXPECT_EQ(output.substr(0, 6), "code 2");
}
