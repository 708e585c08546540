// The frame around the engine's sample programs: a window, the device, the keyboard, the frame
// rate, a free camera and the device-loss steps. A sample says what it loads and draws.
#pragma once

#include <windows.h>
#include <d3dx9.h>

#include <cstddef>

#include "graphics/zr_TextureManager.h"
#include "input/zr_InputManager.h"
#include "objects3d/zr_Scene.h"

struct SampleFrame {
  IDirect3DDevice9* device;
  const zr_KeyboardData* keys;
  float framesPerSecond;  // measured over the last half second
  float seconds;          // since the sample started
  float step;             // seconds since the previous frame, at most a tenth
};

class Sample {
 public:
  virtual ~Sample() = default;
  // The window's title.
  virtual const char* Title() const = 0;
  // Loads what the sample shows. Returns false to end the program; the reason has been reported.
  virtual bool Start(IDirect3DDevice9* device, zr_TextureManager& textures) = 0;
  // Render states a reset takes away; called after Start and after every reset.
  virtual void SetDeviceStates(IDirect3DDevice9*) {}
  // Moves and draws one frame; the scene is begun and the camera set.
  virtual void Frame(const SampleFrame& frame) = 0;
  // What the sample writes under the frame rate (lines separated by '\n').
  virtual void Describe(char* text, std::size_t size) = 0;
  // Releases what lives in the device's default pool, before a reset.
  virtual void OnLostDevice() {}
  // Makes it again after the reset.
  virtual void OnResetDevice(IDirect3DDevice9*) {}
  // Destroys what it made, while the device and the texture manager still exist.
  virtual void Stop() = 0;
};

// Runs `sample` in a 1024 x 768 window until it is closed or Escape is pressed; returns the exit
// status. The command line may hold "--frames N" (stop after N frames, timed as 60 a second
// whatever the real rate) and "--screenshot FILE" (save the last frame as a BMP file), for tests
// and pictures.
int RunSample(Sample& sample, HINSTANCE instance, const char* commandLine);

// Whether `key` (a DIK_ code) is held in this frame's keyboard state.
inline bool KeyDown(const zr_KeyboardData& keys, int key) { return (keys.keys[key] & 0x80) != 0; }

// The camera keys every sample shares, for the text on screen.
extern const char kCameraHelp[];
