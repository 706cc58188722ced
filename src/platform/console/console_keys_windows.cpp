#include "console_keys.h"

#include "console_signals_windows.h"
#include "terminal_mode_windows.h"

#include <algorithm>
#include <cstdlib>
#include <windows.h>

namespace {
constexpr int EXTENDED = 0xE0; // lead of the cursor block's keys, F11 and F12
constexpr int FUNCTION = 0;    // lead of F1 ... F10 and the keypad's

// One console event gives a key's codes, repeated as the key repeats; the
// queue is filled only when it is empty.
constexpr int QUEUE_SIZE = 512;

// The keys taken from standard input and not yet read: from the console's
// input events, or, from a pipe or a file, its bytes.
struct KeySource {
    HANDLE input = nullptr;
    bool console = false;
    bool input_ended = false;
    int queue[QUEUE_SIZE] = {};
    int head = 0;
    int count = 0;
};
KeySource keys;

void push(int code) {
    if (keys.count < QUEUE_SIZE)
        keys.queue[(keys.head + keys.count++) % QUEUE_SIZE] = code;
}

int pop() {
    const int code = keys.queue[keys.head];
    keys.head = (keys.head + 1) % QUEUE_SIZE;
    keys.count--;
    return code;
}

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
void push_key(const KEY_EVENT_RECORD &k) {
    const WCHAR c = k.uChar.UnicodeChar;
    if (c != 0) {
        char bytes[4];
        const int n =
            WideCharToMultiByte(GetConsoleCP(), 0, &c, 1, bytes, sizeof bytes, nullptr, nullptr);
        for (int i = 0; i < n; i++)
            push(static_cast<unsigned char>(bytes[i]));
    } else if (k.wVirtualKeyCode == VK_ESCAPE) {
        push(27);
    } else if (k.wVirtualKeyCode == VK_F11 || k.wVirtualKeyCode == VK_F12) {
        push(EXTENDED);
        push(k.wVirtualKeyCode == VK_F11 ? 0x85 : 0x86);
    } else if (!modifier(k.wVirtualKeyCode) && k.wVirtualScanCode != 0) {
        push(k.dwControlKeyState & ENHANCED_KEY ? EXTENDED : FUNCTION);
        push(k.wVirtualScanCode & 0xFF);
    }
}

// Takes what the console holds, without waiting: a key down gives codes, a
// key up or any other event nothing.
void take_console_input() {
    DWORD pending = 0;
    while (keys.count == 0 && GetNumberOfConsoleInputEvents(keys.input, &pending) && pending) {
        INPUT_RECORD record;
        DWORD read = 0;
        if (!ReadConsoleInputW(keys.input, &record, 1, &read) || read == 0)
            return;
        if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown)
            for (WORD i = 0; i < std::max<WORD>(record.Event.KeyEvent.wRepeatCount, 1); i++)
                push_key(record.Event.KeyEvent);
    }
}

// The bytes of a pipe or a file. A pipe is read only when it holds bytes or
// has been closed, so that a poll does not wait.
void take_byte_input(bool wait) {
    DWORD available = 0;
    const bool pipe = GetFileType(keys.input) == FILE_TYPE_PIPE;
    if (pipe && !wait && PeekNamedPipe(keys.input, nullptr, 0, nullptr, &available, nullptr) &&
        available == 0)
        return;
    unsigned char bytes[64];
    DWORD n = 0;
    if (!ReadFile(keys.input, bytes, sizeof bytes, &n, nullptr) || n == 0) {
        keys.input_ended = true; // the end of input: the console is gone
        return;
    }
    for (DWORD i = 0; i < n; i++)
        push(bytes[i]);
}

void take_input(bool wait) {
    exit_if_stop_requested();
    if (!keys.console) {
        take_byte_input(wait);
        return;
    }
    if (wait) {
        const HANDLE handles[2] = {stop_request_event(), keys.input};
        WaitForMultipleObjects(2, handles, FALSE, INFINITE);
        exit_if_stop_requested();
    }
    take_console_input();
}
} // namespace

void console_keys_start() {
    static bool started = false;
    if (started)
        return;
    started = true;
    keys.input = GetStdHandle(STD_INPUT_HANDLE);
    keys.console = console_mode_start(keys.input);
    console_signals_start();
    // wine's console starts reading its terminal only at the first read or
    // peek of the console's input; a peek waits for nothing.
    INPUT_RECORD record;
    DWORD n = 0;
    if (keys.console)
        PeekConsoleInputW(keys.input, &record, 1, &n);
}

int key_waiting() {
    exit_if_stop_requested();
    if (keys.count == 0 && !keys.input_ended)
        take_input(false);
    return keys.count > 0 || keys.input_ended;
}

int read_key() {
    while (keys.count == 0) {
        if (keys.input_ended)
            exit(0);
        take_input(true);
    }
    return pop();
}
