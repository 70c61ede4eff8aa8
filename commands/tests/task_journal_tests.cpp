#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "bstr.h"
#include "command_funcs.h"
#include "strings.h"
#include "task_journal.h"
#include "task_journal_xml.h"
#include "testing/com_apartment.h"
#include "unique_resource.h"

namespace tandem::test {
namespace {

constexpr CommandWorker kMain = CommandWorker::Main;
constexpr CommandWorker kUnRegister = CommandWorker::UnRegister;

SharedPtr<RegisteredFolder> NewFolder(const std::wstring& id) {
    return MakeShared<RegisteredFolder>(id, FolderMonitorFactory{});
}

std::wstring Describe(const std::map<LONG, std::wstring>& properties) {
    std::wstring text = L"{";
    for (const auto& [id, value] : properties) text += std::to_wstring(id) + L"=" + value + L";";
    return text + L"}";
}

std::wstring FolderIdOf(const FolderCommandFunc& func) { return func.Folder() ? func.Folder()->FolderID() : L"(none)"; }

// A task as text: its element name and its parameters.
class Describer final : public CommandFuncVisitor {
public:
    std::wstring text;

    void Visit(const CommandRegisterFolderFunc& f) override {
        text = L"RegisterFolder|" + FolderIdOf(f) + L"|" + f.Path();
    }
    void Visit(const CommandUnRegisterFolderFunc& f) override {
        text = L"UnRegisterFolder|" + f.Owner() + L"|" + f.Path() + (f.SubTree() ? L"|sub" : L"|flat");
    }
    void Visit(const CommandDeleteFolderFunc& f) override { text = L"DeleteFolder|" + FolderIdOf(f) + L"|" + f.Path(); }
    void Visit(const CommandRenameFolderFunc& f) override {
        text = L"RenameFolder|" + FolderIdOf(f) + L"|" + f.OldPath() + L"|" + f.Path();
    }
    void Visit(const CommandRefreshFolderFunc& f) override {
        text = L"RefreshFolder|" + FolderIdOf(f) + L"|" + f.Path();
    }
    void Visit(const CommandUpdateFolderFunc& f) override {
        text = L"UpdateFolder|" + FolderIdOf(f) + L"|" + f.Path() + L"|" + Describe(f.Properties());
    }
    void Visit(const StartMonitoringFunc& f) override { text = L"StartMonitoring|" + std::to_wstring(f.Refresh()); }
    void Visit(const CheckAccessibilityFunc&) override { text = L"CheckAccessibility"; }
    void Visit(const ShutdownFunc&) override { text = L"Shutdown"; }
    void VisitDummy() override { text = L"Dummy"; }
};

std::wstring Describe(const TaskPtr& task) {
    Describer describer;
    task->Serialize(describer);
    return describer.text;
}

std::vector<std::wstring> Describe(const std::vector<TaskPtr>& tasks) {
    std::vector<std::wstring> texts;
    for (const TaskPtr& task : tasks) texts.push_back(Describe(task));
    return texts;
}

template <class Func>
const Func& FunctionOf(const TaskPtr& task) {
    auto* typed = dynamic_cast<const AsyncFunctionTask<Func>*>(task.get());
    if (!typed) throw std::runtime_error("unexpected task type");
    return typed->Function();
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string ReadBytes(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Journals of a storage of their own, in a data directory removed afterwards.
class TaskJournal : public ::testing::Test {
protected:
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(Directory(), ignored);
    }

    std::filesystem::path Directory() const {
        return std::filesystem::path(TaskJournalPath(storage, kMain)).parent_path();
    }
    std::wstring MainPath() const { return TaskJournalPath(storage, kMain); }

    SharedPtr<RegisteredFolder> AddFolder(const std::wstring& id) {
        auto folder = NewFolder(id);
        folders[id] = folder;
        return folder;
    }

    std::vector<TaskPtr> Load(CommandWorker worker = kMain) { return LoadTaskJournal(storage, worker, lookup); }
    void Save(const std::vector<TaskPtr>& tasks, CommandWorker worker = kMain) {
        SaveTaskJournal(storage, worker, tasks);
    }
    std::vector<TaskPtr> RoundTrip(const std::vector<TaskPtr>& tasks, CommandWorker worker = kMain) {
        Save(tasks, worker);
        return Load(worker);
    }
    // Loads a journal file of the given content.
    std::vector<TaskPtr> LoadText(const std::string& utf8) {
        WriteBytes(MainPath(), utf8);
        return Load();
    }

    ComApartment com;
    std::wstring storage = L"JournalTest-" + NewGuidId();
    std::map<std::wstring, SharedPtr<RegisteredFolder>> folders;
    FolderLookup lookup = [this](const std::wstring& id) -> SharedPtr<RegisteredFolder> {
        auto found = folders.find(id);
        return found == folders.end() ? nullptr : found->second;
    };
    SharedPtr<RegisteredFolder> a = AddFolder(L"0123456789ABCDEF0123456789ABCDEF");
    SharedPtr<RegisteredFolder> b = AddFolder(L"FEDCBA9876543210FEDCBA9876543210");
};

TEST_F(TaskJournal, FilesAreTaskXmlAndUnRegisterXmlInTheStoragesDataDirectory) {
    const std::wstring suffix = L"\\Marlo Corporation\\Tandem Content Folder Watcher\\" + storage + L"\\";
    const std::wstring main = TaskJournalPath(storage, kMain);
    const std::wstring unregister = TaskJournalPath(storage, kUnRegister);
    EXPECT_TRUE(main.ends_with(suffix + L"Task.xml")) << main;
    EXPECT_TRUE(unregister.ends_with(suffix + L"UnRegister.xml")) << unregister;
    EXPECT_EQ(main.substr(0, main.size() - 8), unregister.substr(0, unregister.size() - 14));
    EXPECT_TRUE(std::filesystem::is_directory(Directory()));  // made on the way
}

TEST_F(TaskJournal, UnusablePathRaisesOnLoadAndOnSave) {
    const std::wstring tooLong(300, L'x');
    EXPECT_THROW(TaskJournalPath(tooLong, kMain), HResultError);
    EXPECT_THROW(LoadTaskJournal(tooLong, kMain, lookup), HResultError);
    EXPECT_THROW(SaveTaskJournal(tooLong, kMain, {MakeTask(CommandRefreshFolderFunc(a, L"D:\\A\\"))}),
                 HResultError);
}

TEST_F(TaskJournal, EveryFolderTaskKindRoundTripsInOrder) {
    const std::vector<TaskPtr> tasks = {
        MakeTask(CommandRegisterFolderFunc(a, L"D:\\Music\\")),
        MakeTask(CommandDeleteFolderFunc(b, L"D:\\Photos\\2009\\")),
        MakeTask(CommandRenameFolderFunc(a, L"D:\\Music\\Old\\", L"D:\\Music\\New\\")),
        MakeTask(CommandRefreshFolderFunc(b, L"D:\\Photos\\")),
        MakeTask(CommandUpdateFolderFunc(a, L"D:\\Music\\", {{7, L"seven"}, {-2, L"minus two"}, {40, L""}})),
        MakeTask(CommandUpdateFolderFunc(b, L"D:\\Photos\\", {})),
        MakeTask(CommandRefreshFolderFunc(a, L"D:\\Music\\")),
    };
    std::vector<TaskPtr> loaded = RoundTrip(tasks);
    EXPECT_EQ(Describe(loaded), Describe(tasks));
    ASSERT_EQ(loaded.size(), tasks.size());
    for (size_t i = 0; i < tasks.size(); ++i) {
        EXPECT_EQ(loaded[i]->GetType(), tasks[i]->GetType());
        EXPECT_EQ(loaded[i]->GetPath(), tasks[i]->GetPath());
        EXPECT_FALSE(loaded[i]->IsInterrupted());  // it runs again from scratch
    }
    // The tasks hold the registered folders themselves.
    EXPECT_EQ(FunctionOf<CommandRegisterFolderFunc>(loaded[0]).Folder(), a);
    EXPECT_EQ(FunctionOf<CommandDeleteFolderFunc>(loaded[1]).Folder(), b);
    EXPECT_EQ(FunctionOf<CommandRenameFolderFunc>(loaded[2]).Folder(), a);
    EXPECT_EQ(FunctionOf<CommandRefreshFolderFunc>(loaded[3]).Folder(), b);
    EXPECT_EQ(FunctionOf<CommandUpdateFolderFunc>(loaded[4]).Folder(), a);
    EXPECT_EQ(FunctionOf<CommandUpdateFolderFunc>(loaded[4]).Properties(),
              (std::map<LONG, std::wstring>{{-2, L"minus two"}, {7, L"seven"}, {40, L""}}));
}

TEST_F(TaskJournal, UnRegistrationsRoundTripInTheirOwnFile) {
    const std::vector<TaskPtr> tasks = {
        MakeTask(CommandUnRegisterFolderFunc(L"Photo Manager", L"D:\\Photos\\", true)),
        MakeTask(CommandUnRegisterFolderFunc(L"Music & Video <Library>", L"E:\\", false)),
    };
    Save(tasks, kUnRegister);
    EXPECT_EQ(Describe(Load(kUnRegister)), Describe(tasks));
    EXPECT_TRUE(Load(kMain).empty());
    EXPECT_TRUE(std::filesystem::exists(TaskJournalPath(storage, kUnRegister)));
    EXPECT_FALSE(std::filesystem::exists(MainPath()));
    folders.clear();  // no folder lookup for unregistrations
    EXPECT_EQ(Describe(Load(kUnRegister)), Describe(tasks));
}

TEST_F(TaskJournal, XmlSpecialAndOddCharactersRoundTrip) {
    const std::wstring path = L"D:\\Tom & Jerry <\"Best\"> 'of'\\]]> &amp; &#65;\\";
    const std::wstring renamed = L"D:\\\u65e5\u672c\u8a9e \u00e9t\u00e9 \U0001F3B5\\";
    const std::map<LONG, std::wstring> properties = {
        {LONG_MIN, L"<tag attr=\"v\">&entity;</tag>"},
        {-1, L"  leading and trailing spaces  "},
        {0, L""},
        {1, L"tab\there, line\nfeed, carriage\rreturn, both\r\n"},
        {2, L"\u00e9\u00fc\u00df \u65e5\u672c\u8a9e \u0416 \U0001F600 \u20ac \ufeff"},
        {3, L"quotes \" and ' and `"},
        {LONG_MAX, L"%20 %s %d {0} \\\\server\\share"},
    };
    const std::vector<TaskPtr> tasks = {
        MakeTask(CommandRegisterFolderFunc(a, path)),
        MakeTask(CommandRenameFolderFunc(a, path, renamed)),
        MakeTask(CommandUpdateFolderFunc(a, renamed, properties)),
    };
    std::vector<TaskPtr> loaded = RoundTrip(tasks);
    EXPECT_EQ(Describe(loaded), Describe(tasks));
    ASSERT_EQ(loaded.size(), 3u);
    EXPECT_EQ(FunctionOf<CommandUpdateFolderFunc>(loaded[2]).Properties(), properties);
    EXPECT_EQ(FunctionOf<CommandRenameFolderFunc>(loaded[1]).OldPath(), path);

    const std::vector<TaskPtr> unregister = {
        MakeTask(CommandUnRegisterFolderFunc(L"<Owner & \"Co\">\t\u00e9", path, true))};
    EXPECT_EQ(Describe(RoundTrip(unregister, kUnRegister)), Describe(unregister));
}

TEST_F(TaskJournal, WrittenFileHasTheJournalLayout) {
    Save({MakeTask(CommandRefreshFolderFunc(a, L"D:\\A&B\\")),
          MakeTask(CommandUpdateFolderFunc(b, L"D:\\C\\", {{12, L"\u00e9"}, {3, L"<x>"}})),
          MakeTask(CommandUnRegisterFolderFunc(L"Owner", L"D:\\U\\", true)),
          MakeTask(CommandUnRegisterFolderFunc(L"Owner", L"D:\\V\\", false)),
          MakeTask(CommandRenameFolderFunc(a, L"D:\\Old\\", L"D:\\New\\"))});
    const std::string bytes = ReadBytes(MainPath());

    // The declaration as the DOM writes the "xml" instruction (Wine's msxml3
    // keeps the data's leading space), in UTF-8 without a byte-order mark.
    const std::string declaration = "<?xml";
    ASSERT_EQ(bytes.substr(0, declaration.size()), declaration) << bytes;
    const size_t declarationEnd = bytes.find("?>");
    ASSERT_NE(declarationEnd, std::string::npos);
    std::string data = bytes.substr(declaration.size(), declarationEnd - declaration.size());
    EXPECT_EQ(data.substr(data.find_first_not_of(' ')), "version='1.0' encoding='UTF-8'");

    std::string body = bytes.substr(declarationEnd + 2);
    body.erase(0, body.find_first_not_of("\r\n"));
    body.erase(body.find_last_not_of("\r\n") + 1);
    EXPECT_EQ(body,
              "<Tasks>"
              "<RefreshFolder FolderID=\"0123456789ABCDEF0123456789ABCDEF\" Path=\"D:\\A&amp;B\\\"/>"
              "<UpdateFolder FolderID=\"FEDCBA9876543210FEDCBA9876543210\" Path=\"D:\\C\\\">"
              "<Properties>"
              "<Property ID=\"3\" Value=\"&lt;x&gt;\"/>"
              "<Property ID=\"12\" Value=\"\xC3\xA9\"/>"
              "</Properties>"
              "</UpdateFolder>"
              "<UnRegisterFolder Owner=\"Owner\" Path=\"D:\\U\\\" TargetSubTree=\"1\"/>"
              "<UnRegisterFolder Owner=\"Owner\" Path=\"D:\\V\\\" TargetSubTree=\"0\"/>"
              "<RenameFolder FolderID=\"0123456789ABCDEF0123456789ABCDEF\""
              " OldPath=\"D:\\Old\\\" NewPath=\"D:\\New\\\"/>"
              "</Tasks>");
}

TEST_F(TaskJournal, ControlTasksHaveElementsButAreNeverWritten) {
    ComPtr<IXMLDOMDocument> document = CreateJournalDocument();
    auto nameOf = [&](const TaskPtr& task) {
        Bstr name;
        EXPECT_EQ(SerializeTaskElement(document.get(), *task)->get_nodeName(name.put()), S_OK);
        return name.str();
    };
    EXPECT_EQ(nameOf(MakeTask(CheckAccessibilityFunc())), L"CheckAccesibility");  // one s
    EXPECT_EQ(nameOf(MakeTask(StartMonitoringFunc(1))), L"StartMonitoring");
    EXPECT_EQ(nameOf(MakeTask(ShutdownFunc())), L"Shutdown");
    EXPECT_EQ(nameOf(MakeShared<DummyTask>()), L"Dummy");
    EXPECT_EQ(nameOf(MakeTask(CommandRefreshFolderFunc(a, L"D:\\A\\"))), L"RefreshFolder");

    const std::vector<TaskPtr> tasks = {
        MakeTask(CheckAccessibilityFunc()), MakeTask(StartMonitoringFunc(0)),
        MakeTask(CommandRefreshFolderFunc(a, L"D:\\A\\")), MakeTask(ShutdownFunc()), MakeShared<DummyTask>(),
        MakeTask(CommandDeleteFolderFunc(b, L"D:\\B\\")), nullptr};
    std::vector<TaskPtr> loaded = RoundTrip(tasks);
    EXPECT_EQ(Describe(loaded), (std::vector<std::wstring>{L"RefreshFolder|" + a->FolderID() + L"|D:\\A\\",
                                                           L"DeleteFolder|" + b->FolderID() + L"|D:\\B\\"}));
    const std::string bytes = ReadBytes(MainPath());
    EXPECT_EQ(bytes.find("CheckAccesibility"), std::string::npos);
    EXPECT_EQ(bytes.find("Dummy"), std::string::npos);
}

TEST_F(TaskJournal, TasksOfUnregisteredFoldersAreDropped) {
    SharedPtr<RegisteredFolder> gone = AddFolder(L"00000000000000000000000000000000");
    Save({MakeTask(CommandRefreshFolderFunc(a, L"D:\\A\\")), MakeTask(CommandRegisterFolderFunc(gone, L"D:\\G\\")),
          MakeTask(CommandDeleteFolderFunc(gone, L"D:\\G\\X\\")),
          MakeTask(CommandRenameFolderFunc(gone, L"D:\\G\\1\\", L"D:\\G\\2\\")),
          MakeTask(CommandUpdateFolderFunc(gone, L"D:\\G\\", {{1, L"v"}})),
          MakeTask(CommandRefreshFolderFunc(gone, L"D:\\G\\")),
          MakeTask(CommandUnRegisterFolderFunc(L"owner", L"D:\\G\\", true)),
          MakeTask(CommandUpdateFolderFunc(b, L"D:\\B\\", {{1, L"v"}}))});
    folders.erase(gone->FolderID());
    EXPECT_EQ(Describe(Load()),
              (std::vector<std::wstring>{L"RefreshFolder|" + a->FolderID() + L"|D:\\A\\",
                                         L"UnRegisterFolder|owner|D:\\G\\|sub",
                                         L"UpdateFolder|" + b->FolderID() + L"|D:\\B\\|{1=v;}"}));
}

TEST_F(TaskJournal, AFolderLookupThatThrowsOrIsEmptyDropsTheElementOnly) {
    Save({MakeTask(CommandRefreshFolderFunc(a, L"D:\\A\\")),
          MakeTask(CommandUnRegisterFolderFunc(L"owner", L"D:\\U\\", false))});
    FolderLookup throwing = [](const std::wstring&) -> SharedPtr<RegisteredFolder> { ThrowHr(E_OUTOFMEMORY); };
    EXPECT_EQ(Describe(LoadTaskJournal(storage, kMain, throwing)),
              (std::vector<std::wstring>{L"UnRegisterFolder|owner|D:\\U\\|flat"}));
    EXPECT_EQ(Describe(LoadTaskJournal(storage, kMain, FolderLookup{})),
              (std::vector<std::wstring>{L"UnRegisterFolder|owner|D:\\U\\|flat"}));
}

TEST_F(TaskJournal, MissingEmptyAndMalformedFilesLoadNothing) {
    EXPECT_TRUE(Load().empty());  // no file
    EXPECT_FALSE(std::filesystem::exists(MainPath()));
    EXPECT_TRUE(LoadText("").empty());
    EXPECT_TRUE(LoadText("not xml at all").empty());
    EXPECT_TRUE(LoadText("<?xml version='1.0' encoding='UTF-8'?>").empty());
    // Well-formed elements ahead of the break do not count: the file is malformed.
    EXPECT_TRUE(LoadText("<Tasks><RefreshFolder FolderID=\"0123456789ABCDEF0123456789ABCDEF\" Path=\"D:\\A\\\"/>"
                         "<RefreshFolder FolderID=\"0123")
                    .empty());
    EXPECT_TRUE(LoadText("<Tasks><RefreshFolder FolderID=\"0123456789ABCDEF0123456789ABCDEF\" Path=\"D:\\A\\\"/>"
                         "</Tasks><Tasks/>")
                    .empty());
    EXPECT_TRUE(LoadText("<Tasks><RefreshFolder FolderID=\"0123456789ABCDEF0123456789ABCDEF\" Path=\"D:\\A\\\">"
                         "</Tasks>")
                    .empty());
    EXPECT_TRUE(LoadText(std::string("\x00\x01\x02\xFF\xFE", 5)).empty());
    EXPECT_TRUE(LoadText("<Tasks/>").empty());
    // A directory where the file should be cannot be read either.
    std::filesystem::remove(MainPath());
    std::filesystem::create_directory(std::filesystem::path(MainPath()));
    EXPECT_TRUE(Load().empty());
}

TEST_F(TaskJournal, LoadingLeavesTheFileAsItIs) {
    Save({MakeTask(CommandRefreshFolderFunc(a, L"D:\\A\\"))});
    const std::string before = ReadBytes(MainPath());
    EXPECT_EQ(Load().size(), 1u);
    EXPECT_EQ(Load().size(), 1u);
    EXPECT_EQ(ReadBytes(MainPath()), before);
}

TEST_F(TaskJournal, BadElementsAreSkippedAndTheRestLoads) {
    const std::string A = "FolderID=\"0123456789ABCDEF0123456789ABCDEF\"";
    std::vector<TaskPtr> loaded = LoadText(
        "<?xml version='1.0' encoding='UTF-8'?>\r\n"
        "<Journal>\r\n"  // the root's name is not looked at
        "  <!-- a comment -->\r\n"
        "  <RefreshFolder " + A + " Path=\"D:\\1\\\"/>\r\n"
        "  <refreshfolder " + A + " Path=\"D:\\lower\\\"/>\r\n"
        "  <REFRESHFOLDER " + A + " Path=\"D:\\upper\\\"/>\r\n"
        "  <CheckAccesibility/>\r\n"
        "  <Dummy/>\r\n"
        "  <SomethingElse " + A + " Path=\"D:\\x\\\"/>\r\n"
        "  <?RefreshFolder not an element?>\r\n"
        "  <RefreshFolder " + A + "/>\r\n"
        "  <RegisterFolder Path=\"D:\\no id\\\"/>\r\n"
        "  <DeleteFolder " + A + " path=\"D:\\attribute case\\\"/>\r\n"
        "  <RenameFolder " + A + " OldPath=\"D:\\o\\\"/>\r\n"
        "  <UnRegisterFolder Path=\"D:\\no owner\\\" TargetSubTree=\"1\"/>\r\n"
        "  <UnRegisterFolder Owner=\"o\" Path=\"D:\\no flag\\\"/>\r\n"
        "  <UnRegisterFolder Owner=\"o\" Path=\"D:\\text flag\\\" TargetSubTree=\"yes\"/>\r\n"
        "  <UnRegisterFolder Owner=\"o\" Path=\"D:\\empty flag\\\" TargetSubTree=\"\"/>\r\n"
        "  <UnRegisterFolder Owner=\"o\" Path=\"D:\\huge flag\\\" TargetSubTree=\"99999999999\"/>\r\n"
        "  <RenameFolder " + A + " OldPath=\"D:\\o\\\" NewPath=\"D:\\n\\\"/>\r\n"
        "  <UnRegisterFolder Owner=\"o\" Path=\"D:\\zero\\\" TargetSubTree=\"0\"/>\r\n"
        "  <UnRegisterFolder Owner=\"o\" Path=\"D:\\seven\\\" TargetSubTree=\"7\"/>\r\n"
        "  <UnRegisterFolder Owner=\"o\" Path=\"D:\\minus\\\" TargetSubTree=\"-1\"/>\r\n"
        "  <UnRegisterFolder Owner=\"\" Path=\"\" TargetSubTree=\"1\" Extra=\"ignored\"/>\r\n"
        "  <RefreshFolder " + A + " Path=\"D:\\2\\\">with some text</RefreshFolder>\r\n"
        "</Journal>\r\n");
    const std::wstring idA = a->FolderID();
    EXPECT_EQ(Describe(loaded), (std::vector<std::wstring>{
                                    L"RefreshFolder|" + idA + L"|D:\\1\\",
                                    L"RenameFolder|" + idA + L"|D:\\o\\|D:\\n\\",
                                    L"UnRegisterFolder|o|D:\\zero\\|flat",
                                    L"UnRegisterFolder|o|D:\\seven\\|sub",
                                    L"UnRegisterFolder|o|D:\\minus\\|sub",
                                    L"UnRegisterFolder|||sub",
                                    L"RefreshFolder|" + idA + L"|D:\\2\\",
                                }));
}

TEST_F(TaskJournal, AnUpdateWithABadPropertyListIsDroppedWhole) {
    const std::string head = "<UpdateFolder FolderID=\"0123456789ABCDEF0123456789ABCDEF\" Path=\"D:\\U\\\"";
    const std::string bad[] = {
        head + "><Properties><Property ID=\"1\" Value=\"one\"/></Properties><Properties/></UpdateFolder>",
        head + "/>",
        head + "><Properties><Property ID=\"x\" Value=\"bad id\"/><Property ID=\"2\" Value=\"v\"/>"
               "</Properties></UpdateFolder>",
        head + "><Properties><Property ID=\"2\"/></Properties></UpdateFolder>",
        head + "><Properties><Property Value=\"no id\"/></Properties></UpdateFolder>",
        head + "><Properties><Property ID=\"4294967296\" Value=\"too big\"/></Properties></UpdateFolder>",
        head + "><Properties>text<Property ID=\"1\" Value=\"v\"/></Properties></UpdateFolder>",
        "<UpdateFolder Path=\"D:\\U\\\"><Properties/></UpdateFolder>",
        "<UpdateFolder FolderID=\"11111111111111111111111111111111\" Path=\"D:\\U\\\"><Properties/></UpdateFolder>",
    };
    std::string text = "<Tasks>";
    for (const std::string& element : bad) text += element;
    // Names inside are not looked at; the first of a repeated ID stays.
    text += head + "><Whatever><Prop ID=\"5\" Value=\"first\"/><Entry ID=\"-3\" Value=\"minus\"/>"
                   "<Property ID=\"5\" Value=\"second\"/></Whatever></UpdateFolder>";
    text += head + "><Properties/></UpdateFolder></Tasks>";
    std::vector<TaskPtr> loaded = LoadText(text);
    const std::wstring idA = a->FolderID();
    EXPECT_EQ(Describe(loaded), (std::vector<std::wstring>{L"UpdateFolder|" + idA + L"|D:\\U\\|{-3=minus;5=first;}",
                                                           L"UpdateFolder|" + idA + L"|D:\\U\\|{}"}));
}

TEST_F(TaskJournal, HandWrittenFilesInOtherFormsLoad) {
    // UTF-8 with a byte-order mark, double-quoted declaration, character references.
    std::vector<TaskPtr> loaded = LoadText(
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Tasks>\n"
        "<RefreshFolder FolderID='0123456789ABCDEF0123456789ABCDEF' Path='D:\\&#xE9;t&#233;\\'></RefreshFolder>\n"
        "<RefreshFolder FolderID='0123456789ABCDEF0123456789ABCDEF' Path='D:\\\xC3\xA9t\xC3\xA9 2\\'/>\n"
        "</Tasks>\n");
    const std::wstring prefix = L"RefreshFolder|" + a->FolderID() + L"|D:\\\u00e9t\u00e9";
    EXPECT_EQ(Describe(loaded), (std::vector<std::wstring>{prefix + L"\\", prefix + L" 2\\"}));
}

TEST_F(TaskJournal, AnEmptyListWritesAnEmptyTasksElement) {
    Save({MakeTask(CommandRefreshFolderFunc(a, L"D:\\A\\")), MakeTask(CommandRefreshFolderFunc(b, L"D:\\B\\"))});
    ASSERT_EQ(Load().size(), 2u);
    Save({});
    EXPECT_TRUE(Load().empty());
    std::string bytes = ReadBytes(MainPath());
    EXPECT_EQ(bytes.rfind("<?xml", 0), 0u) << bytes;
    bytes.erase(bytes.find_last_not_of("\r\n") + 1);
    EXPECT_TRUE(bytes.ends_with("?>\n<Tasks/>") || bytes.ends_with("?>\r\n<Tasks/>") ||
                bytes.ends_with("?><Tasks/>") || bytes.ends_with("<Tasks></Tasks>"))
        << bytes;

    // Only control tasks: the same.
    Save({MakeTask(ShutdownFunc()), MakeShared<DummyTask>()});
    EXPECT_TRUE(Load().empty());
    EXPECT_NE(ReadBytes(MainPath()).find("<Tasks"), std::string::npos);
}

TEST_F(TaskJournal, ASaveReplacesTheWholeFile) {
    std::vector<TaskPtr> many;
    for (int i = 0; i < 50; ++i)
        many.push_back(MakeTask(CommandRefreshFolderFunc(a, L"D:\\" + std::to_wstring(i) + L"\\")));
    Save(many);
    EXPECT_EQ(Load().size(), 50u);
    Save({MakeTask(CommandDeleteFolderFunc(b, L"D:\\Z\\"))});
    EXPECT_EQ(Describe(Load()), (std::vector<std::wstring>{L"DeleteFolder|" + b->FolderID() + L"|D:\\Z\\"}));
    // A malformed file is replaced too.
    WriteBytes(MainPath(), "<Tasks><broken");
    Save({MakeTask(CommandDeleteFolderFunc(b, L"D:\\Y\\"))});
    EXPECT_EQ(Load().size(), 1u);
}

TEST_F(TaskJournal, TasksThatCannotBeWrittenAreLeftOutAlone) {
    Save({MakeTask(CommandRefreshFolderFunc(nullptr, L"D:\\no folder\\")),
          MakeTask(CommandRefreshFolderFunc(a, L"D:\\A\\")),
          MakeTask(CommandUpdateFolderFunc(a, L"D:\\A\\", {{1, std::wstring(L"bell\x07", 5)}})),
          MakeTask(CommandUnRegisterFolderFunc(std::wstring(L"nul\0owner", 9), L"D:\\U\\", true)),
          MakeTask(CommandUpdateFolderFunc(a, L"D:\\A\\", {{1, L"half \xD800 surrogate"}})),
          MakeTask(CommandUpdateFolderFunc(a, L"D:\\A\\", {{1, L"not a character \xFFFF"}})),
          MakeTask(CommandRenameFolderFunc(b, L"D:\\B\\", L"D:\\C\\"))});
    EXPECT_EQ(Describe(Load()), (std::vector<std::wstring>{L"RefreshFolder|" + a->FolderID() + L"|D:\\A\\",
                                                           L"RenameFolder|" + b->FolderID() + L"|D:\\B\\|D:\\C\\"}));
}

TEST_F(TaskJournal, AFailedSaveIsRaisedAndKeepsThePreviousJournal) {
    Save({MakeTask(CommandRefreshFolderFunc(a, L"D:\\Kept\\"))});
    {
        // Held open without sharing: the save cannot open it.
        UniqueHandle held(CreateFileW(MainPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        EXPECT_THROW(Save({MakeTask(CommandRefreshFolderFunc(a, L"D:\\Lost\\"))}), HResultError);
    }
    EXPECT_EQ(Describe(Load()), (std::vector<std::wstring>{L"RefreshFolder|" + a->FolderID() + L"|D:\\Kept\\"}));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(MainPath() + L".new")));

    // The new journal is written beside the old one first: when that fails,
    // the old one is not touched at all.
    std::filesystem::create_directory(std::filesystem::path(MainPath() + L".new"));
    EXPECT_THROW(Save({MakeTask(CommandRefreshFolderFunc(a, L"D:\\Lost\\"))}), HResultError);
    EXPECT_EQ(Describe(Load()), (std::vector<std::wstring>{L"RefreshFolder|" + a->FolderID() + L"|D:\\Kept\\"}));

    // A directory in the file's place.
    const std::wstring unregister = TaskJournalPath(storage, kUnRegister);
    std::filesystem::create_directory(std::filesystem::path(unregister));
    EXPECT_THROW(Save({MakeTask(CommandUnRegisterFolderFunc(L"o", L"D:\\U\\", true))}, kUnRegister), HResultError);
    EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::path(unregister)));
    EXPECT_TRUE(Load(kUnRegister).empty());
}

}  // namespace
}  // namespace tandem::test
