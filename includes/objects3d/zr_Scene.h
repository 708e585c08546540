// The camera and the single light of a 3D scene on a device the scene does not own.
#pragma once

#include <d3dx9.h>

class zr_Scene {
 public:
  zr_Scene();

  // Sets the perspective projection (a quarter turn of view, width / height, near 1, far 100), one
  // white point light at the origin and a light grey ambient; from then on Update sets the view.
  // A height of 0 is taken as 1.
  void Initialise(IDirect3DDevice9* device, int width, int height);
  // Sets the view transform from the camera (nothing before Initialise).
  void Update();
  // Moves or turns the camera by a direction code (1 forward, 2 back, 3 left, 4 right, 5 up, 6 down,
  // 7 pitch down, 8 pitch up, 9 turn), scaled by the frame rate (0 counts as 25). `pitchLimit` 0
  // means no limit.
  void MoveCamera(float framesPerSecond, int direction, float speed, float turn, float pitchLimit);
  // Switches light 0 on or off (only records it before Initialise).
  void SetLight(bool on);
  // Whether light 0 is on, as SetLight last recorded it.
  bool GetLightState() const;
  // The camera position.
  D3DXVECTOR3 GetPosition() const;
  float Pitch() const { return pitch_; }
  float Yaw() const { return yaw_; }

 private:
  IDirect3DDevice9* device_;
  D3DXVECTOR3 position_;
  D3DXVECTOR3 lookAt_;
  D3DXVECTOR3 up_;
  D3DXMATRIX view_;
  D3DLIGHT9 light_;
  bool lightOn_;
  int width_;
  int height_;
  float pitch_;
  float yaw_;
  bool initialised_;
};
