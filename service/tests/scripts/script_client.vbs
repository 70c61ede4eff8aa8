' A script client of the running service: registers a folder, walks the
' folders and storages with For Each, reads their properties and
' unregisters the folder. Prints what it saw; the exit code says which
' check failed (0: all done).
'
'   cscript //nologo script_client.vbs <folder> <storage root>
Option Explicit

Dim folderPath, storageRoot, watcher, storages, folder, storage, result, found
folderPath = WScript.Arguments(0)
storageRoot = WScript.Arguments(1)

Set watcher = CreateObject("ZephFw.FolderWatcher")
Set storages = CreateObject("MarloTandem.TnStorageManager")

result = watcher.RegisterFolder("VBScriptClient", folderPath, 1)
If result <> 0 Then WScript.Quit 1

' A failing registration is no script error: its result says why.
result = watcher.RegisterFolder("VBScriptClient", folderPath & "\Missing", 1)
WScript.Echo "missing " & Hex(result)
If result = 0 Then WScript.Quit 6

found = False
For Each folder In watcher.RegisteredFolders
    WScript.Echo "folder " & folder.Path & " " & folder.OwnerApplication & " " & folder.MonitoringBehavior
    If LCase(folder.Path) = LCase(folderPath) Then found = True
Next
If Not found Then WScript.Quit 2

found = False
For Each storage In storages.Storages
    WScript.Echo "storage " & storage.RootPath & " " & Len(storage.UniqueID) & " " & storage.StorageType
    If LCase(storage.RootPath) = LCase(storageRoot) Then found = True
Next
If Not found Then WScript.Quit 3

result = watcher.UnregisterFolder("", folderPath)
If result <> 0 Then WScript.Quit 4
For Each folder In watcher.RegisteredFolders
    If LCase(folder.Path) = LCase(folderPath) Then WScript.Quit 5
Next
storages.RemoveStorage storageRoot
WScript.Echo "done"
