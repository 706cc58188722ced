// SPDX-License-Identifier: MIT
#include "platform/console/console_input.h"
#include "platform/console/console_signals_windows.h"
#include "platform/console/terminal_mode_windows.h"

#include <algorithm>
#include <cstdlib>
#include <windows.h>

namespace {
constexpr int EXTENDED = 0xE0; // lead of the cursor block's keys, F11 and F12
constexpr int FUNCTION = 0;    // lead of F1 ... F10 and the keypad's

// Standard input: a console, whose input events give the keys, or a pipe or
// a file, whose bytes are the keys as they stand.
struct ConsoleInput {
    HANDLE handle = nullptr;
    bool console = false;
};
ConsoleInput input;

bool modifier(WORD key) {
    switch (key) {
    case VK_SHIFT:
    case VK_CONTROL:
    case VK_MENU:
    case VK_CAPITAL:
    case VK_NUMLOCK:
    case VK_SCROLL:
    case VK_LWIN:
    case VK_RWIN:
        return true;
    default:
        return false;
    }
}

// A key's codes as the console's own key functions give them: a character as
// its bytes in the console's code page; a key without one as a lead byte and
// its scan code, without the modifiers' changes (F11 and F12 have codes of
// their own). A lone modifier gives nothing. ESC comes without a character
// under wine.
void push_key(KeyQueue &queue, const KEY_EVENT_RECORD &k) {
    const WCHAR c = k.uChar.UnicodeChar;
    if (c != 0) {
        char bytes[4];
        const int n =
            WideCharToMultiByte(GetConsoleCP(), 0, &c, 1, bytes, sizeof bytes, nullptr, nullptr);
        for (int i = 0; i < n; i++)
            queue.push(static_cast<unsigned char>(bytes[i]));
    } else if (k.wVirtualKeyCode == VK_ESCAPE) {
        queue.push(27);
    } else if (k.wVirtualKeyCode == VK_F11 || k.wVirtualKeyCode == VK_F12) {
        queue.push(EXTENDED);
        queue.push(k.wVirtualKeyCode == VK_F11 ? 0x85 : 0x86);
    } else if (!modifier(k.wVirtualKeyCode) && k.wVirtualScanCode != 0) {
        queue.push(k.dwControlKeyState & ENHANCED_KEY ? EXTENDED : FUNCTION);
        queue.push(k.wVirtualScanCode & 0xFF);
    }
}

// Takes what the console holds, without waiting: a key down gives codes, a
// key up or any other event nothing.
void take_events(KeyQueue &queue) {
    DWORD pending = 0;
    while (queue.empty() && GetNumberOfConsoleInputEvents(input.handle, &pending) && pending) {
        INPUT_RECORD record;
        DWORD read = 0;
        if (!ReadConsoleInputW(input.handle, &record, 1, &read) || read == 0)
            return;
        if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown)
            for (WORD i = 0; i < std::max<WORD>(record.Event.KeyEvent.wRepeatCount, 1); i++)
                push_key(queue, record.Event.KeyEvent);
    }
}

// The bytes of a pipe or a file. A pipe is read only when it holds bytes or
// has been closed, so that a poll does not wait.
void take_bytes(KeyQueue &queue, bool wait) {
    DWORD available = 0;
    const bool pipe = GetFileType(input.handle) == FILE_TYPE_PIPE;
    if (pipe && !wait && PeekNamedPipe(input.handle, nullptr, 0, nullptr, &available, nullptr) &&
        available == 0)
        return;
    unsigned char bytes[64];
    DWORD n = 0;
    if (!ReadFile(input.handle, bytes, sizeof bytes, &n, nullptr) || n == 0) {
        queue.ended = true; // the end of input: the console is gone
        return;
    }
    for (DWORD i = 0; i < n; i++)
        queue.push(bytes[i]);
}

} // namespace

void take_console_input(KeyQueue &queue, bool wait) {
    if (stop_requested())
        return;
    if (!input.console) {
        take_bytes(queue, wait);
        return;
    }
    if (wait) {
        const HANDLE handles[2] = {stop_request_event(), input.handle};
        WaitForMultipleObjects(2, handles, FALSE, INFINITE);
        if (stop_requested())
            return;
    }
    take_events(queue);
}

// The Windows console has no job control: nothing stops the program there.
void console_input_start(const JobStopSteps *) {
    input.handle = GetStdHandle(STD_INPUT_HANDLE);
    input.console = console_mode_start(input.handle);
    console_signals_start();
    // wine's console starts reading its terminal only at the first read or
    // peek of the console's input; a peek waits for nothing.
    INPUT_RECORD record;
    DWORD n = 0;
    if (input.console)
        PeekConsoleInputW(input.handle, &record, 1, &n);
}

void console_input_stop() {
    console_mode_stop();
}
