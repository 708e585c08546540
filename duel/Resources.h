// Ids of the program's resources and of its menu's commands.
#pragma once

inline constexpr int kMenuId = 101;
inline constexpr int kIconId = 103;

inline constexpr unsigned kCommandNew = 57600;
inline constexpr unsigned kCommandClose = 40004;
inline constexpr unsigned kCommandWireframe = 40005;
inline constexpr unsigned kCommandSolid = 40006;
inline constexpr unsigned kCommandPoint = 40007;
inline constexpr unsigned kCommandZBufferEnable = 40008;
inline constexpr unsigned kCommandZBufferDisable = 40009;
inline constexpr unsigned kCommandScreenshot = 40010;
inline constexpr unsigned kCommandInfo = 40011;
