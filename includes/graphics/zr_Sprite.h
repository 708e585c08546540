// One image file drawn as a 2D sprite: placed by its top-left corner in screen pixels, rotated
// about its centre, scaled, tinted with an alpha value, optionally cut to one frame of a
// horizontal animation strip or to a rectangle. The texture is fetched from the texture manager
// by file name at every draw.
#pragma once

#include <d3dx9.h>

#include <string>

#include "graphics/zr_TextureManager.h"

class zr_Sprite {
 public:
  zr_Sprite();
  // Releases the sprite object, then deletes the texture of its file name from the manager.
  ~zr_Sprite();
  // Copies would share the sprite object without a reference and release it twice.
  zr_Sprite(const zr_Sprite&) = delete;
  zr_Sprite& operator=(const zr_Sprite&) = delete;

  void CreateSprite(IDirect3DDevice9* device, zr_TextureManager* textureManager, const char* fileName,
                    DWORD beginFlags, D3DPOOL pool, DWORD colourKey);
  void SetXY(int x, int y);
  void SetRotation(float radians);
  // 0 transparent to 255 opaque; only the low 8 bits count.
  void SetAlpha(int alpha);
  // Adds to the scale factors.
  void Scale(float sx, float sy);
  void SetRect(RECT rect);
  void SetAnimated(bool animated);
  // Frames side by side from x = 0, all of one size; shows the first.
  void SetAnimatedRect(int frameCount, int frameWidth, int frameHeight);
  // Shows frame n (1-based); returns 10 and changes nothing when n is past the last frame or no
  // strip is defined, else 0.
  int SetAnimationStep(int frame);
  // Shows the next frame, after the last the first.
  void IncreaseAnimationStep();
  // Draws the whole texture (or the animation frame when animated) with its top-left at (x, y).
  void Render(int x, int y);
  // Draws the rectangle of SetRect with its top-left at (x, y).
  void RenderRect(int x, int y);
  void OnLostDevice();
  void OnResetDevice();

  const D3DXVECTOR3& Position() const { return position_; }
  const D3DXVECTOR3& Centre() const { return centre_; }
  const D3DXVECTOR3& Scaling() const { return scaling_; }
  const RECT& AnimationRect() const { return animationRect_; }

 private:
  void Draw(int x, int y, const RECT* source, const char* failure);

  std::string fileName_;
  zr_TextureManager* textureManager_;
  ID3DXSprite* sprite_;
  D3DXVECTOR3 position_;
  D3DXVECTOR3 centre_;
  D3DXVECTOR3 scaling_;
  DWORD beginFlags_;
  int alpha_;
  float rotation_;
  bool animated_;
  RECT animationRect_;
  int frameEnd_;
  int frameHeight_;
  int frameWidth_;
  int stripWidth_;
  RECT drawRect_;
};
