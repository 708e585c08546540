// What tests set up and inspect of each interface's fake (fake_win32.cpp, fake_d3d9.cpp, ...): a
// state per interface, kept from first use and made again at every fake::Platform::Reset().
#pragma once

#include <d3d9.h>
#include <d3dx9.h>
#include <dinput.h>
#include <dmusici.h>
#include <windows.h>

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "fake_platform.h"

namespace fake::win32 {

struct State {
  // The performance counter: QueryPerformanceCounter reads `counter`, then adds `counterStep`.
  LONGLONG frequency = 1'000'000'000;
  LONGLONG counter = 0;
  LONGLONG counterStep = 0;
  // Posted messages, in order; PeekMessageA takes from here. WM_QUIT comes when nothing else waits.
  std::deque<MSG> queue;
  bool quitPosted = false;
  int quitCode = 0;
  std::map<std::string, WNDCLASSEXA> classes;
  std::map<HWND, WNDPROC> windows;
  std::uintptr_t lastHandle = 0x1000;  // windows are made at handles 0x1010, 0x1020, ...
};
inline State& Get() { return StateOf<State>(); }

// Puts a message in the queue, as a window or the user would.
void Post(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

}  // namespace fake::win32

namespace fake::d3d9 {

struct State {
  // The present parameters of the last CreateDevice and the last Reset, as passed.
  D3DPRESENT_PARAMETERS createParameters{};
  D3DPRESENT_PARAMETERS resetParameters{};
  // What SetTransform and SetLight last set, by state or index.
  std::map<DWORD, D3DMATRIX> transforms;
  std::map<DWORD, D3DLIGHT9> lights;
};
inline State& Get() { return StateOf<State>(); }

// A device of the fake for code under test, made without recording; the caller releases it.
IDirect3DDevice9* NewDevice();

// The bytes of a live vertex or index buffer of the fake (what locks wrote into it, kept from
// lock to lock), or null when `buffer` is not one.
const std::vector<std::uint8_t>* BufferBytes(const void* buffer);

}  // namespace fake::d3d9

namespace fake::d3dx9 {

struct State {
  // Image files that exist for D3DXGetImageInfoFromFileA and D3DXCreateTextureFromFileExA, by name.
  std::map<std::string, D3DXIMAGE_INFO> images;
  // The transform of the last ID3DXSprite::SetTransform and the description of the last font made.
  D3DXMATRIX lastSpriteTransform;
  D3DXFONT_DESCA lastFontDesc{};
  // The centre and position of the last ID3DXSprite::Draw (null ones as 0).
  D3DXVECTOR3 lastSpriteCentre{0, 0, 0};
  D3DXVECTOR3 lastSpritePosition{0, 0, 0};
  int spritesMade = 0;  // sprites are numbered in the order they are made
};
inline State& Get() { return StateOf<State>(); }

// Where the last sprite draw put the texel (u, v), counted from the corner of the drawn rectangle:
// the draw's centre lands on its position (the origin when null), then the transform applies.
D3DXVECTOR3 PlacedTexel(float u, float v);

// Makes an image file of that size known to the fake.
void AddImage(const std::string& name, UINT width, UINT height);

}  // namespace fake::d3dx9

namespace fake::d3dx9mesh {

struct MaterialFile {
  D3DMATERIAL9 material{};
  std::string texture;  // empty: none
};

struct MeshFile {
  DWORD faces = 1000;
  DWORD minFaces = 300;  // what the progressive mesh reaches at least
  std::vector<MaterialFile> materials;
};

struct State {
  std::map<std::string, MeshFile> files;  // .X files the loader knows, by name
  int meshesMade = 0;                     // meshes are numbered in the order they are made
};
inline State& Get() { return StateOf<State>(); }

}  // namespace fake::d3dx9mesh

namespace fake::dinput8 {

struct State {
  // What the keyboard's GetDeviceState reads when it succeeds.
  std::array<BYTE, 256> keys{};
  // Buffered mouse events that GetDeviceData hands out, oldest first, as many as asked for.
  std::deque<DIDEVICEOBJECTDATA> mouseEvents;
  DWORD sequence = 0;  // of the last mouse event queued
  // Whether a read that fails still writes what it would have read (the keyboard's keys, the
  // pending mouse events with their count), as some drivers do.
  bool failedReadsDeliver = false;
};
inline State& Get() { return StateOf<State>(); }

// Queues a mouse event for the next reads.
void AddMouseEvent(DWORD offset, LONG value);

}  // namespace fake::dinput8

namespace fake::dmusic {

struct State {
  std::set<std::string> files;  // files the loader can load, by the name as passed (narrow)
};
inline State& Get() { return StateOf<State>(); }

}  // namespace fake::dmusic
