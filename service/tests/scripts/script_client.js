// A JScript client of the running service: registers a folder, walks the
// folders and storages with an Enumerator, reads their properties and
// unregisters the folder. Prints what it saw; the exit code says which
// check failed (0: all done).
//
//   cscript //nologo script_client.js <folder> <storage root>
var folderPath = WScript.Arguments.Item(0);
var storageRoot = WScript.Arguments.Item(1);

var watcher = new ActiveXObject("ZephFw.FolderWatcher");
var storages = new ActiveXObject("MarloTandem.TnStorageManager");

function same(a, b) {
    return a.toLowerCase() == b.toLowerCase();
}

// Calls visit on each item of a collection; true once visit answers true.
function any(collection, visit) {
    var found = false;
    for (var e = new Enumerator(collection); !e.atEnd(); e.moveNext()) {
        if (visit(e.item())) found = true;
    }
    return found;
}

if (watcher.RegisterFolder("JScriptClient", folderPath, 1) != 0) WScript.Quit(1);

// A failing registration is no script error: its result says why.
var missing = watcher.RegisterFolder("JScriptClient", folderPath + "\\Missing", 1);
WScript.Echo("missing " + (missing >>> 0).toString(16));
if (missing == 0) WScript.Quit(6);

var registered = any(watcher.RegisteredFolders, function (folder) {
    WScript.Echo("folder " + folder.Path + " " + folder.OwnerApplication + " " + folder.MonitoringBehavior);
    return same(folder.Path, folderPath);
});
if (!registered) WScript.Quit(2);

var stored = any(storages.Storages, function (storage) {
    WScript.Echo("storage " + storage.RootPath + " " + storage.UniqueID.length + " " + storage.StorageType);
    return same(storage.RootPath, storageRoot);
});
if (!stored) WScript.Quit(3);

if (watcher.UnregisterFolder("", folderPath) != 0) WScript.Quit(4);
if (any(watcher.RegisteredFolders, function (folder) { return same(folder.Path, folderPath); })) WScript.Quit(5);
storages.RemoveStorage(storageRoot);
WScript.Echo("done");
