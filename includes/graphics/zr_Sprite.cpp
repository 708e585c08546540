#include "graphics/zr_Sprite.h"

#include "errorfile/zr_ErrorException.h"

zr_Sprite::zr_Sprite()
    : textureManager_(nullptr),
      sprite_(nullptr),
      beginFlags_(0),
      alpha_(255),
      rotation_(0.0f),
      animated_(false),
      animationRect_{0, 0, 0, 0},
      frameEnd_(0),
      frameHeight_(0),
      frameWidth_(0),
      stripWidth_(0),
      drawRect_{0, 0, 0, 0} {}

zr_Sprite::~zr_Sprite() {
  if (sprite_ != nullptr) {
    sprite_->Release();
    sprite_ = nullptr;
  }
  if (textureManager_ != nullptr) textureManager_->DeleteTexture(fileName_.c_str());
}

void zr_Sprite::CreateSprite(IDirect3DDevice9* device, zr_TextureManager* textureManager, const char* fileName,
                             DWORD beginFlags, D3DPOOL pool, DWORD colourKey) {
  D3DXCreateSprite(device, &sprite_);
  beginFlags_ = beginFlags;
  textureManager_ = textureManager;
  const char* name = fileName != nullptr ? fileName : "";
  if (textureManager_ != nullptr) textureManager_->AddTexture(name, pool, D3DX_FILTER_NONE, 1, colourKey);
  fileName_ = name;

  D3DXIMAGE_INFO info{};
  D3DXGetImageInfoFromFileA(name, &info);
  // Halved as whole numbers: a width of 75 gives a centre of 37.
  centre_.x = static_cast<float>(info.Width / 2);
  centre_.y = static_cast<float>(info.Height / 2);
  position_.x = centre_.x;
  position_.y = centre_.y;
  scaling_ = D3DXVECTOR3(1.0f, 1.0f, 1.0f);
}

void zr_Sprite::SetXY(int x, int y) {
  position_.x = static_cast<float>(x);
  position_.y = static_cast<float>(y);
}

void zr_Sprite::SetRotation(float radians) { rotation_ = radians; }

void zr_Sprite::SetAlpha(int alpha) { alpha_ = alpha; }

void zr_Sprite::Scale(float sx, float sy) {
  scaling_.x += sx;
  scaling_.y += sy;
}

void zr_Sprite::SetRect(RECT rect) { drawRect_ = rect; }

void zr_Sprite::SetAnimated(bool animated) { animated_ = animated; }

void zr_Sprite::SetAnimatedRect(int frameCount, int frameWidth, int frameHeight) {
  stripWidth_ = frameCount * frameWidth;
  frameEnd_ = frameWidth;
  frameWidth_ = frameWidth;
  frameHeight_ = frameHeight;
  animationRect_ = RECT{0, 0, frameWidth, frameHeight};
}

void zr_Sprite::IncreaseAnimationStep() {
  if (frameEnd_ != stripWidth_) {
    frameEnd_ += frameWidth_;
    animationRect_.left += frameWidth_;
    animationRect_.right += frameWidth_;
  } else {
    animationRect_.left = 0;
    animationRect_.right = frameWidth_;
    frameEnd_ = frameWidth_;
  }
}

int zr_Sprite::SetAnimationStep(int frame) {
  if (frameWidth_ <= 0) return 10;  // no strip: nothing to count frames by
  const int count = stripWidth_ / frameWidth_;
  if (frame > count) return 10;
  SetAnimatedRect(count, frameWidth_, frameHeight_);
  for (int i = 1; i < frame; ++i) IncreaseAnimationStep();
  return 0;
}

void zr_Sprite::Draw(int x, int y, const RECT* source, const char* failure) {
  if (sprite_ == nullptr || textureManager_ == nullptr) return;
  position_.x = static_cast<float>(x) + centre_.x;
  position_.y = static_cast<float>(y) + centre_.y;

  D3DXMATRIX rotation, translation, scaling, transform;
  D3DXMatrixRotationZ(&rotation, rotation_);
  D3DXMatrixScaling(&scaling, scaling_.x, scaling_.y, scaling_.z);
  D3DXMatrixTranslation(&translation, position_.x, position_.y, position_.z);
  // Rotated about the origin, moved to the position, then scaled (the position too).
  D3DXMatrixMultiply(&transform, &rotation, &translation);
  D3DXMatrixMultiply(&transform, &transform, &scaling);

  sprite_->Begin(beginFlags_);
  sprite_->SetTransform(&transform);
  const D3DCOLOR colour = (static_cast<D3DCOLOR>(alpha_ & 0xFF) << 24) | 0x00FFFFFF;
  HRESULT hr = sprite_->Draw(textureManager_->GetTexture(fileName_.c_str()), source, &centre_, nullptr, colour);
  DXTestForError(hr, failure, 16, true);
  sprite_->End();
}

void zr_Sprite::Render(int x, int y) { Draw(x, y, animated_ ? &animationRect_ : nullptr, "Error by drawing the Sprite"); }

void zr_Sprite::RenderRect(int x, int y) { Draw(x, y, &drawRect_, "Error by drawing the zr_Sprite"); }

void zr_Sprite::OnLostDevice() {
  if (sprite_ != nullptr) sprite_->OnLostDevice();
}

void zr_Sprite::OnResetDevice() {
  if (sprite_ != nullptr) sprite_->OnResetDevice();
}
