// MessengerSim.exe: the stand-in messenger.
//
//   MessengerSim.exe [--journal <file>] [--language <file>] [--hidden] [--timestamps]
//
// --journal   where the journal goes (a new file); without it, nowhere
// --language  the language file for the window texts; without it, the
//             texts of the messenger's Chinese edition
// --hidden    starts with the main window hidden
// --timestamps  message lines end with qpc=<performance counter> taken
//             when the message left the queue
#include "Journal.h"
#include "MessengerSim.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cwchar>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int)
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv)
        return 2;
    std::wstring journalPath;
    std::wstring languagePath;
    bool hidden = false;
    bool timestamps = false;
    for (int i = 1; i < argc; ++i) {
        if (wcscmp(argv[i], L"--journal") == 0 && i + 1 < argc)
            journalPath = argv[++i];
        else if (wcscmp(argv[i], L"--language") == 0 && i + 1 < argc)
            languagePath = argv[++i];
        else if (wcscmp(argv[i], L"--hidden") == 0)
            hidden = true;
        else if (wcscmp(argv[i], L"--timestamps") == 0)
            timestamps = true;
        else {
            LocalFree(argv);
            return 2;
        }
    }
    LocalFree(argv);

    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    CJournal journal;
    if (!journalPath.empty() && !journal.Open(journalPath.c_str()))
        return 3;
    journal.SetTimestamps(timestamps);
    CMessengerSim sim(journal, languagePath);
    if (!sim.Create(hidden))
        return 4;
    return sim.Run();
}
