// The mode dialog: radio buttons 201-204 for the depth, 301-302 for the
// scale, 401 to start (USER32).  Its template is made in memory, so the
// program needs no resources (the packed program has none: its stub is the
// module the system loaded).
#include "platform/platform.h"

#include <windows.h>

namespace {

// The dialog's controls, in dialog units; all children, visible.
struct dialog_control {
    DWORD style;
    short x, y, width, height, id;
    const char* text;
};
constexpr DWORD radio = BS_AUTORADIOBUTTON | WS_TABSTOP, first = WS_GROUP | WS_TABSTOP;
constexpr dialog_control dialog_controls[] = {
    {BS_GROUPBOX, 7, 7, 80, 84, -1, "Colours"},
    {radio | first, 15, 21, 64, 12, 201, "&32 bits"},
    {radio, 15, 37, 64, 12, 202, "&24 bits"},
    {radio, 15, 53, 64, 12, 203, "1&6 bits"},
    {radio, 15, 69, 64, 12, 204, "1&5 bits"},
    {BS_GROUPBOX, 99, 7, 80, 52, -1, "Picture"},
    {radio | first, 107, 21, 64, 12, 301, "&Normal"},
    {radio, 107, 37, 64, 12, 302, "&Double"},
    {BS_DEFPUSHBUTTON | first, 99, 67, 80, 24, 401, "&Start"},
};

// The extended dialog template (DLGTEMPLATEEX, then a DLGITEMTEMPLATEEX per
// control), as the resource compiler makes it; made while compiling.
struct dialog_template {
    alignas(4) WORD words[270];
};
struct template_writer {
    WORD* at;
    constexpr void word(int value) { *at++ = WORD(value); }
    constexpr void dword(DWORD value)
    {
        word(int(value & 0xFFFF));
        word(int(value >> 16));
    }
    constexpr void text(const char* ascii)
    {
        do
            word(static_cast<unsigned char>(*ascii));
        while (*ascii++);
    }
    constexpr void box(int x, int y, int width, int height)
    {
        word(x);
        word(y);
        word(width);
        word(height);
    }
};
constexpr dialog_template make_dialog_template()
{
    dialog_template t{};
    template_writer w{t.words};
    w.word(1);       // version
    w.word(0xFFFF);  // extended
    w.dword(0);      // help
    w.dword(0);      // extended style
    w.dword(DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU);
    w.word(sizeof dialog_controls / sizeof dialog_controls[0]);
    w.box(0, 0, 186, 98);
    w.word(0);  // no menu
    w.word(0);  // the dialog class
    w.text("oddball: display");
    w.word(8);      // points
    w.word(0);      // weight
    w.word(0x100);  // not italic; character set 1 (the default)
    w.text("MS Shell Dlg");
    for (const dialog_control& c : dialog_controls) {
        if ((w.at - t.words) & 1)
            w.word(0);  // each control on 4 bytes
        w.dword(0);     // help
        w.dword(0);     // extended style
        w.dword(c.style | WS_CHILD | WS_VISIBLE);
        w.box(c.x, c.y, c.width, c.height);
        w.dword(DWORD(c.id));
        w.word(0xFFFF);
        w.word(0x80);  // a button
        w.text(c.text);
        w.word(0);  // no creation data
    }
    return t;
}
constexpr dialog_template mode_dialog_template = make_dialog_template();

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
    INT_PTR result =
        DialogBoxIndirectParamA(GetModuleHandleA(nullptr), reinterpret_cast<const DLGTEMPLATE*>(mode_dialog_template.words),
                                nullptr, mode_dialog_proc, 0);
    if (result == 0)
        return false;
    if (result == 1) {
        *depth = dialog_depth;
        *scale = dialog_scale;
    }
    return true;
}
