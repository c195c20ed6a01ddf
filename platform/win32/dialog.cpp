// dialog.cpp -- the setup dialog on Windows: the resource dialog with its picture, two modes, "Run Demo" and "Exit"
// It runs in the player's own process, modeless, with a message loop of its own that hands
// the work behind the dialog its idle time, a step at a time. That work may take messages off
// the queue itself (SDL does, as it brings its video up), so the dialog's keys are caught
// wherever they are taken, by a hook, rather than only in its own loop.
#include <windows.h>

#include "base/globals.h"
#include "base/run_marks.h"
#include "platform/player.h"
#include "platform/win32/resources.h"

double dialogClosedSeconds = 0.0;

namespace {

enum class Choice { none, run, exit, closed };

struct SetupDialog {
    HWND window = nullptr;
    HHOOK keys = nullptr;
    Choice choice = Choice::none;
    bool wide = false;  // "1280x720 (16:9)" was checked when "Run Demo" came
};
SetupDialog setup;

// Centred on the desktop, the first mode checked and holding the focus, so that the arrows
// move between the modes from the start.
void prepare(HWND dialog) {
    RECT desktop{}, own{};
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(dialog, &own);
    const int width = own.right - own.left, height = own.bottom - own.top;
    SetWindowPos(dialog, nullptr, desktop.right / 2 - width / 2, desktop.bottom / 2 - height / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER);
    CheckRadioButton(dialog, TALUMEN_CHOICE_4X3, TALUMEN_CHOICE_16X9, TALUMEN_CHOICE_4X3);
    HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(TALUMEN_ICON));
    if (icon) {
        SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    }
    SetFocus(GetDlgItem(dialog, TALUMEN_CHOICE_4X3));
}

INT_PTR CALLBACK dialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            prepare(dialog);
            return FALSE;  // the focus was set here
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                setup.wide = IsDlgButtonChecked(dialog, TALUMEN_CHOICE_16X9) == BST_CHECKED;
                setup.choice = Choice::run;
                return TRUE;
            }
            // "Exit", and Escape, which the dialog manager sends as the same command.
            if (LOWORD(wParam) == IDCANCEL) {
                setup.choice = Choice::exit;
                return TRUE;
            }
            return FALSE;
        case WM_CLOSE:
            // The close box is neither: the dialog manager would make it "Exit".
            setup.choice = Choice::closed;
            return TRUE;
        default:
            return FALSE;
    }
}

// Every message taken off this thread's queue, by whichever loop: the dialog's keys (Tab, the
// arrows, Enter, Escape) go to the dialog manager, and the loop that took them sees nothing.
LRESULT CALLBACK catchDialogKeys(int code, WPARAM removed, LPARAM taken) {
    MSG& message = *reinterpret_cast<MSG*>(taken);
    const bool key = message.message >= WM_KEYFIRST && message.message <= WM_KEYLAST;
    if (code == HC_ACTION && removed == PM_REMOVE && key && setup.window &&
        (message.hwnd == setup.window || IsChild(setup.window, message.hwnd)) && IsDialogMessageW(setup.window, &message)) {
        message.message = WM_NULL;
        message.wParam = 0;
        message.lParam = 0;
    }
    return CallNextHookEx(nullptr, code, removed, taken);
}

void dispatch(MSG& message) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

}  // namespace

bool runSetupDialog(bool (*meanwhile)()) {
    setup = SetupDialog();
    HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(TALUMEN_SETUP_DIALOG), nullptr,
                                     dialogProcedure, 0);
    if (!dialog) return false;
    setup.window = dialog;
    setup.keys = SetWindowsHookExW(WH_GETMESSAGE, catchDialogKeys, nullptr, GetCurrentThreadId());
    ShowWindow(dialog, SW_SHOW);
    SetForegroundWindow(dialog);
    bool working = meanwhile != nullptr;
    while (setup.choice == Choice::none) {
        MSG message;
        if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                // Not ours to take: it ends whatever loop runs next as well.
                PostQuitMessage(static_cast<int>(message.wParam));
                setup.choice = Choice::closed;
                break;
            }
            // Without the hook (which the system may refuse), the keys are the dialog's here.
            if (!setup.keys && IsDialogMessageW(dialog, &message)) continue;
            dispatch(message);
            continue;
        }
        // A stop request (Ctrl+C in the console it was started from) counts as "Exit".
        if (stopRequested()) {
            setup.choice = Choice::exit;
            break;
        }
        // The queue is empty, the dialog drawn: the work behind it takes the time until the
        // next message, one short step at a time.
        if (working) {
            working = meanwhile();
            continue;
        }
        MsgWaitForMultipleObjectsEx(0, nullptr, 100, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
    dialogClosedSeconds = steadySeconds();
    if (stopRequested()) setup.choice = Choice::exit;
    if (setup.choice == Choice::run) {
        screenWidth = setup.wide ? 1280 : 1024;
        screenHeight = setup.wide ? 720 : 768;
        viewportHeight = setup.wide ? 720 : 576;
        runFlag = 1;
    } else if (setup.choice == Choice::exit) {
        runFlag = 0;
    }
    // Closed any other way: runFlag and the sizes stay as they were.
    if (setup.keys) UnhookWindowsHookEx(setup.keys);
    setup.keys = nullptr;
    setup.window = nullptr;
    DestroyWindow(dialog);
    // The dialog's last messages are handled before the demo's window opens.
    for (MSG message; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        dispatch(message);
    }
    return true;
}
