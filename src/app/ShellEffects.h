// What the tray's commands ask of the shell and the file system: opening a
// folder or a link, copying and deleting the start-up shortcut. The program
// uses the system's calls; a test passes its own and checks the request.
#pragma once

class IShellEffects {
public:
    virtual ~IShellEffects() = default;
    // Opens a folder or a link as Explorer would.
    virtual bool Open(const wchar_t* target) = 0;
    // Copies a file, never over an existing one.
    virtual bool CopyNew(const wchar_t* source, const wchar_t* destination) = 0;
    virtual bool Remove(const wchar_t* path) = 0;
};

// The system's shell, for the life of the program.
IShellEffects& SystemShell();
