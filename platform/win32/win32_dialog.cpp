// The mode dialog: radio buttons 201-204 for the depth, 301-302 for the
// scale, 401 to start (USER32).  Its template is made in memory, so the
// program needs no resources (the packed program has none: its stub is the
// module the system loaded).  It offers the depths whose mode (320 x 240,
// or 640 x 480 doubled) DirectDraw lists (DDRAW).
#include "platform/platform.h"
#include "platform/win32/win32_controls.h"

#include <windows.h>

#include <ddraw.h>

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
constexpr int dialog_depths[] = {32, 24, 16, 15};

// The modes DirectDraw lists: bit i for dialog_depths[i] at 320 x 240, bit
// 4 + i at 640 x 480.  A 16-bit mode with 5-5-5 masks counts as 15 bits.
unsigned listed_modes = 0;

HRESULT WINAPI note_mode(LPDDSURFACEDESC desc, LPVOID)
{
    int scale = desc->dwWidth == 320 && desc->dwHeight == 240 ? 0 : desc->dwWidth == 640 && desc->dwHeight == 480 ? 1 : -1;
    int depth = int(desc->ddpfPixelFormat.dwRGBBitCount);
    if (depth == 16 && desc->ddpfPixelFormat.dwGBitMask == 0x03E0)
        depth = 15;
    for (int i = 0; i < 4; ++i)
        if (scale >= 0 && depth == dialog_depths[i])
            listed_modes |= 1u << (4 * scale + i);
    return DDENUMRET_OK;
}

void list_modes()
{
    listed_modes = 0;
    IDirectDraw* direct_draw = nullptr;
    if (DirectDrawCreate(nullptr, &direct_draw, nullptr) == DD_OK) {
        direct_draw->EnumDisplayModes(0, nullptr, nullptr, note_mode);
        direct_draw->Release();
    }
}

// Enables the depths listed at the chosen scale (all of them when none is:
// the list is then no guide) and keeps the checked one among them, else
// checks the first.
void offer_depths(HWND dialog)
{
    int scale = IsDlgButtonChecked(dialog, 302) == BST_CHECKED;
    unsigned listed = listed_modes >> (4 * scale) & 15;
    if (!listed)
        listed = 15;
    int checked = -1;
    for (int i = 0; i < 4; ++i) {
        EnableWindow(GetDlgItem(dialog, 201 + i), listed >> i & 1);
        if (listed >> i & 1 && (checked < 0 || IsDlgButtonChecked(dialog, 201 + i) == BST_CHECKED))
            checked = i;
    }
    CheckRadioButton(dialog, 201, 204, 201 + checked);
}

INT_PTR CALLBACK mode_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        CheckRadioButton(dialog, 201, 204, 201);
        CheckRadioButton(dialog, 301, 302, 301);
        offer_depths(dialog);
        return 0;
    case WM_COMMAND:
    case WM_HSCROLL:
    case WM_VSCROLL: {
        if (message == WM_COMMAND && (LOWORD(wparam) == 301 || LOWORD(wparam) == 302))
            offer_depths(dialog);
        for (int i = 0; i < 4; ++i)
            if (IsDlgButtonChecked(dialog, 201 + i) == BST_CHECKED)
                dialog_depth = dialog_depths[i];
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
    list_modes();
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
