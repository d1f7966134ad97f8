#include "linuxkeymap.h"

#include <Qt>

namespace {

struct Row
{
    int code;
    int qtKey;
    const char* text;
};

// Codes of <linux/input-event-codes.h>.
const Row KEYS[] = {
    {1, Qt::Key_Escape, "\x1b"}, {2, Qt::Key_1, "1"}, {3, Qt::Key_2, "2"}, {4, Qt::Key_3, "3"},
    {5, Qt::Key_4, "4"}, {6, Qt::Key_5, "5"}, {7, Qt::Key_6, "6"}, {8, Qt::Key_7, "7"},
    {9, Qt::Key_8, "8"}, {10, Qt::Key_9, "9"}, {11, Qt::Key_0, "0"}, {12, Qt::Key_Minus, "-"},
    {13, Qt::Key_Equal, "="}, {14, Qt::Key_Backspace, "\b"}, {15, Qt::Key_Tab, "\t"},
    {16, Qt::Key_Q, "q"}, {17, Qt::Key_W, "w"}, {18, Qt::Key_E, "e"}, {19, Qt::Key_R, "r"},
    {20, Qt::Key_T, "t"}, {21, Qt::Key_Y, "y"}, {22, Qt::Key_U, "u"}, {23, Qt::Key_I, "i"},
    {24, Qt::Key_O, "o"}, {25, Qt::Key_P, "p"}, {26, Qt::Key_BracketLeft, "["},
    {27, Qt::Key_BracketRight, "]"}, {28, Qt::Key_Return, "\r"}, {29, Qt::Key_Control, ""},
    {30, Qt::Key_A, "a"}, {31, Qt::Key_S, "s"}, {32, Qt::Key_D, "d"}, {33, Qt::Key_F, "f"},
    {34, Qt::Key_G, "g"}, {35, Qt::Key_H, "h"}, {36, Qt::Key_J, "j"}, {37, Qt::Key_K, "k"},
    {38, Qt::Key_L, "l"}, {39, Qt::Key_Semicolon, ";"}, {40, Qt::Key_Apostrophe, "'"},
    {41, Qt::Key_QuoteLeft, "`"}, {42, Qt::Key_Shift, ""}, {43, Qt::Key_Backslash, "\\"},
    {44, Qt::Key_Z, "z"}, {45, Qt::Key_X, "x"}, {46, Qt::Key_C, "c"}, {47, Qt::Key_V, "v"},
    {48, Qt::Key_B, "b"}, {49, Qt::Key_N, "n"}, {50, Qt::Key_M, "m"}, {51, Qt::Key_Comma, ","},
    {52, Qt::Key_Period, "."}, {53, Qt::Key_Slash, "/"}, {54, Qt::Key_Shift, ""},
    {56, Qt::Key_Alt, ""}, {57, Qt::Key_Space, " "}, {58, Qt::Key_CapsLock, ""},
    {59, Qt::Key_F1, ""}, {60, Qt::Key_F2, ""}, {61, Qt::Key_F3, ""}, {62, Qt::Key_F4, ""},
    {63, Qt::Key_F5, ""}, {64, Qt::Key_F6, ""}, {65, Qt::Key_F7, ""}, {66, Qt::Key_F8, ""},
    {67, Qt::Key_F9, ""}, {68, Qt::Key_F10, ""}, {87, Qt::Key_F11, ""}, {88, Qt::Key_F12, ""},
    {96, Qt::Key_Enter, "\r"}, {97, Qt::Key_Control, ""}, {100, Qt::Key_Alt, ""},
    {102, Qt::Key_Home, ""}, {103, Qt::Key_Up, ""}, {104, Qt::Key_PageUp, ""},
    {105, Qt::Key_Left, ""}, {106, Qt::Key_Right, ""}, {107, Qt::Key_End, ""},
    {108, Qt::Key_Down, ""}, {109, Qt::Key_PageDown, ""}, {110, Qt::Key_Insert, ""},
    {111, Qt::Key_Delete, "\x7f"}, {113, Qt::Key_VolumeMute, ""},
    {114, Qt::Key_VolumeDown, ""}, {115, Qt::Key_VolumeUp, ""}, {116, Qt::Key_PowerOff, ""},
    {119, Qt::Key_Pause, ""}, {139, Qt::Key_Menu, ""}, {158, Qt::Key_Back, ""},
    {163, Qt::Key_MediaNext, ""}, {164, Qt::Key_MediaTogglePlayPause, ""},
    {165, Qt::Key_MediaPrevious, ""}, {172, Qt::Key_Home, ""}, {212, Qt::Key_Camera, ""},
    {217, Qt::Key_Search, ""}, {528, Qt::Key_Camera, ""},
};

} // namespace

LinuxKeyMap::Key LinuxKeyMap::fromLinux(int code)
{
    for (const Row& row : KEYS) {
        if (row.code == code)
            return Key{row.qtKey, QString::fromLatin1(row.text)};
    }
    return Key();
}
