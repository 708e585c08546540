// The program's resources: its icon, its menu and its version record (language German, Austria).
#include <win32_resources.h>
#include <windows.h>

#include "Resources.h"

namespace {

// The standard 16 colours of the platform's 4-bit pictures, as 0xAARRGGBB.
const DWORD kPalette[16] = {
    0xFF000000, 0xFF800000, 0xFF008000, 0xFF808000, 0xFF000080, 0xFF800080, 0xFF008080, 0xFFC0C0C0,
    0xFF808080, 0xFFFF0000, 0xFF00FF00, 0xFFFFFF00, 0xFF0000FF, 0xFFFF00FF, 0xFF00FFFF, 0xFFFFFFFF,
};

// The emblem of the duel: a yellow V on a navy disc between the red and the cyan player, with a
// shot on its way. One character per pixel, a palette index in hexadecimal; blank is clear.
const char* const kIconRows[32] = {
    "                                ",
    "           FFFFFFFFFF           ",
    "        FFFF44444444FFFF        ",
    "       FFF444444444444FFF       ",
    "      FF4444444444444444FF      ",
    "     FF444444444444444444FF     ",
    "    FF44444444444444444444FF    ",
    "   FF444BBB4444444444BBB444FF   ",
    "  FF4444BBB4444444444BBB4444FF  ",
    "  FF4444BBBB44444444BBBB4444FF  ",
    "  F444444BBB44444444BBB444444F  ",
    " FF444444BBB44444444BBB444444FF ",
    " F4444444BBBB444444BBBB4444444F ",
    " F44994444BBB444444BBB4444EE44F ",
    " F44994444BBBB4444BBBB4444EE44F ",
    " F449944BBBBBB4444BBB44444EE44F ",
    " F449944444BBB4444BBB44444EE44F ",
    " F449944444BBBB44BBBB44444EE44F ",
    " F4499444444BBB44BBB444444EE44F ",
    " F4444444444BBBBBBBB4444444444F ",
    " FF4444444444BBBBBB4444444444FF ",
    "  F4444444444BBBBBB4444444444F  ",
    "  FF444444444BBBBBB444444444FF  ",
    "  FF4444444444BBBB4444444444FF  ",
    "   FF444444444BBBB444444444FF   ",
    "    FF444444444BB444444444FF    ",
    "     FF444444444444444444FF     ",
    "      FF4444444444444444FF      ",
    "       FFF444444444444FFF       ",
    "        FFFF44444444FFFF        ",
    "           FFFFFFFFFF           ",
    "                                ",
};

const IconResource kIcons[] = {
    {kIconId, 32, 32, kPalette, 16, kIconRows},
};

const MenuItemResource kFileMenu[] = {
    {"New", kCommandNew, nullptr, 0},
    {"Close", kCommandClose, nullptr, 0},
};
const MenuItemResource kModeMenu[] = {
    {"Solid", kCommandSolid, nullptr, 0},
    {"Wireframe", kCommandWireframe, nullptr, 0},
    {"Point", kCommandPoint, nullptr, 0},
};
const MenuItemResource kZBufferMenu[] = {
    {"Enable", kCommandZBufferEnable, nullptr, 0},
    {"Disable", kCommandZBufferDisable, nullptr, 0},
};
const MenuItemResource kRenderMenu[] = {
    {"Mode", 0, kModeMenu, 3},
    {"Z-Buffer", 0, kZBufferMenu, 2},
    {"Create a Screenshot", kCommandScreenshot, nullptr, 0},
};
const MenuItemResource kHelpMenu[] = {
    {"Info", kCommandInfo, nullptr, 0},
};
const MenuItemResource kMenuBar[] = {
    {"File", 0, kFileMenu, 2},
    {"Render", 0, kRenderMenu, 3},
    {"?", 0, kHelpMenu, 1},
};
const MenuResource kMenus[] = {
    {kMenuId, kMenuBar, 3},
};

const VersionResource kVersion = {
    {1, 0, 0, 1}, {1, 0, 0, 1}, "Velkor Editor", "Velkor Editor", "Velkor Engine",
};

// The version record also as text in a section of its own, so that standard tools read it from
// the executable: readelf -p .rsrc_version duel
[[gnu::section(".rsrc_version"), gnu::used]] const char kVersionText[] =
    "FileVersion 1.0.0.1\0"
    "ProductVersion 1.0.0.1\0"
    "FileDescription Velkor Editor\0"
    "InternalName Velkor Editor\0"
    "ProductName Velkor Engine\0"
    "Language 0x0C07";

}  // namespace

extern const ResourceTable g_programResources = {
    0x0C07, kIcons, 1, kMenus, 1, &kVersion,
};
