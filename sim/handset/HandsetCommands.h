// CHandsetCommands: the interpreter of the command channel (README.md): one
// command line in, applied to the handset's state or to the window that
// shows it, and one reply out, starting with "ok" or "error:".
#pragma once

#include <string>

#include "HandsetState.h"

// What the commands do to the window that shows the handset.
class IHandsetView {
public:
    virtual void ShowView(bool shown) = 0;
    virtual void MoveView(int x, int y) = 0;
    virtual bool IsViewShown() const = 0;

protected:
    ~IHandsetView() = default;
};

// The start-up state that the environment variable kHandsetEnvironment asks
// for; read when the handset is created and again on "reset".
HandsetStartup ReadHandsetStartup();

class CHandsetCommands {
public:
    CHandsetCommands(CHandsetState& state, IHandsetView& view) : m_state(state), m_view(view) {}
    CHandsetCommands(const CHandsetCommands&) = delete;
    CHandsetCommands& operator=(const CHandsetCommands&) = delete;

    std::wstring Execute(const std::wstring& commandLine);

private:
    CHandsetState& m_state;
    IHandsetView& m_view;
};
