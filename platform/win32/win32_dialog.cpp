// The mode dialog: radio buttons 201-204 for the depth, 301-302 for the
// scale, 401 to start (USER32; the template is the resource "OURDIALOG").
#include "platform/platform.h"

#include <windows.h>

namespace {

int dialog_depth = 32;
int dialog_scale = 1;

INT_PTR CALLBACK mode_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        CheckDlgButton(dialog, 201, BST_CHECKED);
        CheckDlgButton(dialog, 202, BST_UNCHECKED);
        CheckDlgButton(dialog, 203, BST_UNCHECKED);
        CheckDlgButton(dialog, 204, BST_UNCHECKED);
        CheckDlgButton(dialog, 301, BST_CHECKED);
        CheckDlgButton(dialog, 302, BST_UNCHECKED);
        return 0;
    case WM_COMMAND:
    case WM_HSCROLL:
    case WM_VSCROLL: {
        static const int depths[] = {32, 24, 16, 15};
        for (int i = 0; i < 4; ++i)
            if (IsDlgButtonChecked(dialog, 201 + i) == BST_CHECKED)
                dialog_depth = depths[i];
        for (int i = 0; i < 2; ++i)
            if (IsDlgButtonChecked(dialog, 301 + i) == BST_CHECKED)
                dialog_scale = 1 + i;
        int id = message == WM_COMMAND ? LOWORD(wparam) : 0;
        if (id == 401)
            EndDialog(dialog, 1);
        else if (id == IDCANCEL)  // Escape
            EndDialog(dialog, 0);
        return 0;
    }
    case WM_CLOSE:  // the close box: the program ends without the show
        EndDialog(dialog, 0);
        return 0;
    default:
        return 0;
    }
}

}  // namespace

bool win32_mode_dialog(int* depth, int* scale)
{
    dialog_depth = 32;
    dialog_scale = 1;
    INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), "OURDIALOG", nullptr, mode_dialog_proc, 0);
    if (result == 0)
        return false;
    if (result == 1) {
        *depth = dialog_depth;
        *scale = dialog_scale;
    }
    return true;
}
