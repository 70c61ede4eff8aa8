#include "task_journal.h"

#include <map>
#include <string_view>
#include <utility>

#include "bstr.h"
#include "command_funcs.h"
#include "error.h"
#include "storage_data.h"
#include "task_journal_xml.h"
#include "variant.h"

namespace tandem {

namespace {

// The data of the "xml" declaration, leading space included.
constexpr wchar_t kDeclarationTarget[] = L"xml";
constexpr wchar_t kDeclarationData[] = L" version='1.0' encoding='UTF-8'";
constexpr wchar_t kRootElement[] = L"Tasks";

constexpr wchar_t kRegisterFolder[] = L"RegisterFolder";
constexpr wchar_t kUnRegisterFolder[] = L"UnRegisterFolder";
constexpr wchar_t kDeleteFolder[] = L"DeleteFolder";
constexpr wchar_t kRenameFolder[] = L"RenameFolder";
constexpr wchar_t kRefreshFolder[] = L"RefreshFolder";
constexpr wchar_t kUpdateFolder[] = L"UpdateFolder";
constexpr wchar_t kProperties[] = L"Properties";
constexpr wchar_t kProperty[] = L"Property";
constexpr wchar_t kStartMonitoring[] = L"StartMonitoring";
constexpr wchar_t kCheckAccessibility[] = L"CheckAccesibility";  // one s, as the journal has always spelled it
constexpr wchar_t kShutdown[] = L"Shutdown";
constexpr wchar_t kDummy[] = L"Dummy";

constexpr wchar_t kFolderId[] = L"FolderID";
constexpr wchar_t kPath[] = L"Path";
constexpr wchar_t kOwner[] = L"Owner";
constexpr wchar_t kTargetSubTree[] = L"TargetSubTree";
constexpr wchar_t kOldPath[] = L"OldPath";
constexpr wchar_t kNewPath[] = L"NewPath";
constexpr wchar_t kId[] = L"ID";
constexpr wchar_t kValue[] = L"Value";

// XML 1.0 has no way to carry these, not even as character references: a
// file holding one could not be read back at all.
void CheckXmlText(std::wstring_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        bool valid;
        if (c < 0x20) {
            valid = c == L'\t' || c == L'\n' || c == L'\r';
        } else if (c >= 0xD800 && c <= 0xDBFF) {
            valid = i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
            if (valid) ++i;
        } else {
            valid = !(c >= 0xDC00 && c <= 0xDFFF) && c != 0xFFFE && c != 0xFFFF;
        }
        if (!valid) ThrowHr(E_INVALIDARG);
    }
}

// Builds the element of the task it visits.
class ElementWriter final : public CommandFuncVisitor {
public:
    explicit ElementWriter(IXMLDOMDocument* document) : document_(document) {}

    ComPtr<IXMLDOMElement> Take() {
        if (!element_) ThrowHr(E_UNEXPECTED);
        return std::move(element_);
    }

    void Visit(const CommandRegisterFolderFunc& func) override { WriteFolderTask(kRegisterFolder, func); }

    void Visit(const CommandUnRegisterFolderFunc& func) override {
        ComPtr<IXMLDOMElement> element = Create(kUnRegisterFolder);
        SetText(element, kOwner, func.Owner());
        SetText(element, kPath, func.Path());
        SetLong(element, kTargetSubTree, func.SubTree() ? 1 : 0);
        element_ = std::move(element);
    }

    void Visit(const CommandDeleteFolderFunc& func) override { WriteFolderTask(kDeleteFolder, func); }

    void Visit(const CommandRenameFolderFunc& func) override {
        ComPtr<IXMLDOMElement> element = Create(kRenameFolder);
        SetText(element, kFolderId, FolderIdOf(func));
        SetText(element, kOldPath, func.OldPath());
        SetText(element, kNewPath, func.Path());
        element_ = std::move(element);
    }

    void Visit(const CommandRefreshFolderFunc& func) override { WriteFolderTask(kRefreshFolder, func); }

    // The property list is built first, then its parent.
    void Visit(const CommandUpdateFolderFunc& func) override {
        ComPtr<IXMLDOMElement> properties = Create(kProperties);
        for (const auto& [id, value] : func.Properties()) {
            ComPtr<IXMLDOMElement> property = Create(kProperty);
            SetLong(property, kId, id);
            SetText(property, kValue, value);
            Append(properties, property);
        }
        ComPtr<IXMLDOMElement> element = Create(kUpdateFolder);
        SetText(element, kFolderId, FolderIdOf(func));
        SetText(element, kPath, func.Path());
        Append(element, properties);
        element_ = std::move(element);
    }

    void Visit(const StartMonitoringFunc&) override { element_ = Create(kStartMonitoring); }
    void Visit(const CheckAccessibilityFunc&) override { element_ = Create(kCheckAccessibility); }
    void Visit(const ShutdownFunc&) override { element_ = Create(kShutdown); }
    void VisitDummy() override { element_ = Create(kDummy); }

private:
    static const std::wstring& FolderIdOf(const FolderCommandFunc& func) {
        if (!func.Folder()) ThrowHr(E_POINTER);
        return func.Folder()->FolderID();
    }

    void WriteFolderTask(const wchar_t* name, const FolderCommandFunc& func) {
        ComPtr<IXMLDOMElement> element = Create(name);
        SetText(element, kFolderId, FolderIdOf(func));
        SetText(element, kPath, func.Path());
        element_ = std::move(element);
    }

    ComPtr<IXMLDOMElement> Create(const wchar_t* name) {
        ComPtr<IXMLDOMElement> element;
        CheckHr(document_->createElement(Bstr(name).get(), element.put()));
        if (!element) ThrowHr(E_UNEXPECTED);
        return element;
    }

    static void SetText(const ComPtr<IXMLDOMElement>& element, const wchar_t* name, std::wstring_view value) {
        CheckXmlText(value);
        CheckHr(element->setAttribute(Bstr(name).get(), Variant::FromString(value).get()));
    }

    static void SetLong(const ComPtr<IXMLDOMElement>& element, const wchar_t* name, LONG value) {
        CheckHr(element->setAttribute(Bstr(name).get(), Variant::FromLong(value).get()));
    }

    static void Append(const ComPtr<IXMLDOMElement>& parent, const ComPtr<IXMLDOMElement>& child) {
        ComPtr<IXMLDOMNode> appended;
        CheckHr(parent->appendChild(child.get(), appended.put()));
    }

    IXMLDOMDocument* document_;
    ComPtr<IXMLDOMElement> element_;
};

// Attribute readers of the factories: any shortfall is E_INVALIDARG.
std::wstring TextAttribute(IXMLDOMElement* element, const wchar_t* name) {
    Variant value;
    if (element->getAttribute(Bstr(name).get(), value.put()) != S_OK || value.type() != VT_BSTR)
        ThrowHr(E_INVALIDARG);
    return std::wstring(BstrView(V_BSTR(&value.get())));
}

LONG LongAttribute(IXMLDOMElement* element, const wchar_t* name) {
    Variant value;
    if (element->getAttribute(Bstr(name).get(), value.put()) != S_OK) ThrowHr(E_INVALIDARG);
    if (FAILED(VariantChangeType(value.ptr(), value.ptr(), 0, VT_I4))) ThrowHr(E_INVALIDARG);
    return V_I4(&value.get());
}

ComPtr<IXMLDOMElement> AsElement(IXMLDOMNode* node) {
    DOMNodeType type = NODE_INVALID;
    ComPtr<IXMLDOMElement> element;
    if (!node || node->get_nodeType(&type) != S_OK || type != NODE_ELEMENT ||
        FAILED(node->QueryInterface(IID_IXMLDOMElement, element.put_void())) || !element)
        ThrowHr(E_INVALIDARG);
    return element;
}

SharedPtr<RegisteredFolder> FindFolder(const FolderLookup& findFolder, const std::wstring& folderId) {
    SharedPtr<RegisteredFolder> folder = findFolder(folderId);
    if (!folder) ThrowHr(E_INVALIDARG);
    return folder;
}

// "RegisterFolder", "DeleteFolder", "RefreshFolder".
template <class Func>
TaskPtr LoadFolderTask(IXMLDOMElement* element, const FolderLookup& findFolder) {
    std::wstring folderId = TextAttribute(element, kFolderId);
    std::wstring path = TextAttribute(element, kPath);
    return MakeTask(Func(FindFolder(findFolder, folderId), std::move(path)));
}

TaskPtr LoadUnRegisterFolder(IXMLDOMElement* element, const FolderLookup&) {
    std::wstring owner = TextAttribute(element, kOwner);
    std::wstring path = TextAttribute(element, kPath);
    const bool subTree = LongAttribute(element, kTargetSubTree) != 0;
    return MakeTask(CommandUnRegisterFolderFunc(std::move(owner), std::move(path), subTree));
}

TaskPtr LoadRenameFolder(IXMLDOMElement* element, const FolderLookup& findFolder) {
    std::wstring folderId = TextAttribute(element, kFolderId);
    std::wstring oldPath = TextAttribute(element, kOldPath);
    std::wstring newPath = TextAttribute(element, kNewPath);
    return MakeTask(
        CommandRenameFolderFunc(FindFolder(findFolder, folderId), std::move(oldPath), std::move(newPath)));
}

// One child holding the properties; its name and its children's names are
// not looked at. The first of a repeated ID stays.
TaskPtr LoadUpdateFolder(IXMLDOMElement* element, const FolderLookup& findFolder) {
    std::wstring folderId = TextAttribute(element, kFolderId);
    std::wstring path = TextAttribute(element, kPath);

    ComPtr<IXMLDOMNodeList> children;
    long count = 0;
    if (element->get_childNodes(children.put()) != S_OK || !children || children->get_length(&count) != S_OK ||
        count != 1)
        ThrowHr(E_INVALIDARG);
    ComPtr<IXMLDOMNode> container;
    if (children->get_item(0, container.put()) != S_OK || !container) ThrowHr(E_INVALIDARG);

    ComPtr<IXMLDOMNodeList> entries;
    long entryCount = 0;
    if (container->get_childNodes(entries.put()) != S_OK || !entries || entries->get_length(&entryCount) != S_OK)
        ThrowHr(E_INVALIDARG);
    std::map<LONG, std::wstring> properties;
    for (long i = 0; i < entryCount; ++i) {
        ComPtr<IXMLDOMNode> entry;
        if (entries->get_item(i, entry.put()) != S_OK) ThrowHr(E_INVALIDARG);
        ComPtr<IXMLDOMElement> property = AsElement(entry.get());
        const LONG id = LongAttribute(property.get(), kId);
        properties.emplace(id, TextAttribute(property.get(), kValue));
    }
    return MakeTask(CommandUpdateFolderFunc(FindFolder(findFolder, folderId), std::move(path), std::move(properties)));
}

using Factory = TaskPtr (*)(IXMLDOMElement* element, const FolderLookup& findFolder);

struct FactoryEntry {
    const wchar_t* name;
    Factory factory;
};

const FactoryEntry kFactories[] = {
    {kRegisterFolder, &LoadFolderTask<CommandRegisterFolderFunc>},
    {kUnRegisterFolder, &LoadUnRegisterFolder},
    {kDeleteFolder, &LoadFolderTask<CommandDeleteFolderFunc>},
    {kRenameFolder, &LoadRenameFolder},
    {kRefreshFolder, &LoadFolderTask<CommandRefreshFolderFunc>},
    {kUpdateFolder, &LoadUpdateFolder},
};

// Compared as the journal always has: VarBstrCmp, user-default locale, no
// flags, so case counts.
Factory FindFactory(BSTR name) {
    for (const FactoryEntry& entry : kFactories) {
        if (VarBstrCmp(name, Bstr(entry.name).get(), LOCALE_USER_DEFAULT, 0) == static_cast<HRESULT>(VARCMP_EQ))
            return entry.factory;
    }
    return nullptr;
}

}  // namespace

ComPtr<IXMLDOMDocument> CreateJournalDocument() {
    ComPtr<IXMLDOMDocument> document;
    CheckHr(CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                             document.put_void()));
    if (!document) ThrowHr(E_UNEXPECTED);
    CheckHr(document->put_async(VARIANT_FALSE));
    // A journal names no outside entities; nothing is fetched or validated.
    document->put_resolveExternals(VARIANT_FALSE);
    document->put_validateOnParse(VARIANT_FALSE);
    return document;
}

ComPtr<IXMLDOMElement> SerializeTaskElement(IXMLDOMDocument* document, const CommandThreadTaskBase& task) {
    if (!document) ThrowHr(E_POINTER);
    ElementWriter writer(document);
    task.Serialize(writer);
    return writer.Take();
}

TaskPtr TaskFromElement(IXMLDOMNode* node, const FolderLookup& findFolder) {
    if (!node) ThrowHr(E_POINTER);
    Bstr name;
    CheckHr(node->get_nodeName(name.put()));
    Factory factory = FindFactory(name.get());
    if (!factory) return nullptr;
    ComPtr<IXMLDOMElement> element = AsElement(node);
    return factory(element.get(), findFolder);
}

std::wstring TaskJournalPath(const std::wstring& storageId, CommandWorker worker) {
    return StorageDataPath(storageId, worker == CommandWorker::Main ? L"Task.xml" : L"UnRegister.xml");
}

std::vector<TaskPtr> LoadTaskJournal(const std::wstring& storageId, CommandWorker worker,
                                     const FolderLookup& findFolder) {
    const std::wstring path = TaskJournalPath(storageId, worker);
    std::vector<TaskPtr> tasks;
    try {
        ComPtr<IXMLDOMDocument> document = CreateJournalDocument();
        VARIANT_BOOL loaded = VARIANT_FALSE;
        if (document->load(Variant::FromString(path).get(), &loaded) != S_OK || loaded != VARIANT_TRUE)
            return tasks;
        ComPtr<IXMLDOMElement> root;
        if (document->get_documentElement(root.put()) != S_OK || !root) return tasks;
        ComPtr<IXMLDOMNodeList> children;
        long count = 0;
        CheckHr(root->get_childNodes(children.put()));
        if (!children) return tasks;
        CheckHr(children->get_length(&count));
        for (long i = 0; i < count; ++i) {
            try {
                ComPtr<IXMLDOMNode> child;
                CheckHr(children->get_item(i, child.put()));
                if (TaskPtr task = TaskFromElement(child.get(), findFolder)) tasks.push_back(std::move(task));
            } catch (...) {
                // A bad element is dropped alone.
            }
        }
    } catch (...) {
        // Loading ends with what it has.
    }
    return tasks;
}

namespace {

// A crash or a full disk mid-write must not cost the previous journal: the
// new one is written beside it and then moved over it in one step.
void ReplaceJournal(IXMLDOMDocument* document, const std::wstring& path) {
    const std::wstring temporary = path + L".new";
    HRESULT hr = document->save(Variant::FromString(temporary).get());
    if (SUCCEEDED(hr) &&
        !MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        hr = HRESULT_FROM_WIN32(GetLastError());
    }
    if (FAILED(hr)) {
        DeleteFileW(temporary.c_str());
        ThrowHr(hr);
    }
}

}  // namespace

void SaveTaskJournal(const std::wstring& storageId, CommandWorker worker, const std::vector<TaskPtr>& tasks) {
    const std::wstring path = TaskJournalPath(storageId, worker);
    ComPtr<IXMLDOMDocument> document = CreateJournalDocument();

    ComPtr<IXMLDOMProcessingInstruction> declaration;
    CheckHr(document->createProcessingInstruction(Bstr(kDeclarationTarget).get(), Bstr(kDeclarationData).get(),
                                                  declaration.put()));
    ComPtr<IXMLDOMNode> appended;
    CheckHr(document->appendChild(declaration.get(), appended.put()));

    ComPtr<IXMLDOMElement> root;
    CheckHr(document->createElement(Bstr(kRootElement).get(), root.put()));
    if (!root) ThrowHr(E_UNEXPECTED);
    for (const TaskPtr& task : tasks) {
        if (!task || task->GetType() == kTaskControl) continue;
        try {
            ComPtr<IXMLDOMElement> element = SerializeTaskElement(document.get(), *task);
            CheckHr(root->appendChild(element.get(), appended.put()));
        } catch (...) {
            // Left out; the others are still written.
        }
    }
    CheckHr(document->putref_documentElement(root.get()));
    ReplaceJournal(document.get(), path);
}

}  // namespace tandem
