#include "objects3d/zr_Scene.h"

#include <cmath>
#include <cstring>

namespace {
constexpr float kQuarterTurn = 0.7853982f;  // the field of view: pi / 4
constexpr float kSideways = 1.5707964f;     // pi / 2
}  // namespace

zr_Scene::zr_Scene()
    : device_(nullptr),
      position_(0, 1, -10),
      lookAt_(0, 1, 0),
      up_(0, 1, 0),
      light_{},
      lightOn_(true),
      width_(0),
      height_(0),
      pitch_(0),
      yaw_(0),
      initialised_(false) {}

void zr_Scene::Initialise(IDirect3DDevice9* device, int width, int height) {
  device_ = device;
  width_ = width;
  height_ = height;
  Update();
  const float aspect = static_cast<float>(width) / static_cast<float>(height != 0 ? height : 1);
  D3DXMATRIX projection;
  D3DXMatrixPerspectiveFovLH(&projection, kQuarterTurn, aspect, 1.0f, 100.0f);
  if (device_ != nullptr) device_->SetTransform(D3DTS_PROJECTION, &projection);
  initialised_ = true;

  std::memset(&light_, 0, sizeof light_);
  light_.Type = D3DLIGHT_POINT;
  light_.Diffuse = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 0.0f};
  light_.Position = D3DVECTOR{0, 0, 0};
  light_.Range = 100000.0f;
  light_.Attenuation0 = 1.0f;
  if (device_ == nullptr) return;
  device_->SetLight(0, &light_);
  device_->LightEnable(0, TRUE);
  device_->SetRenderState(D3DRS_LIGHTING, TRUE);
  device_->SetRenderState(D3DRS_AMBIENT, 0x00F0F0F0);
}

void zr_Scene::Update() {
  if (!initialised_) return;
  lookAt_ = D3DXVECTOR3(position_.x + std::sin(yaw_), position_.y + std::sin(pitch_), position_.z + std::cos(yaw_));
  D3DXMatrixLookAtLH(&view_, &position_, &lookAt_, &up_);
  if (device_ != nullptr) device_->SetTransform(D3DTS_VIEW, &view_);
}

void zr_Scene::MoveCamera(float framesPerSecond, int direction, float speed, float turn, float pitchLimit) {
  const float rate = framesPerSecond == 0.0f ? 25.0f : framesPerSecond;
  const float angleStep = turn * speed / rate;
  switch (direction) {
    case 1:
      position_.x += std::sin(yaw_) * speed / rate;
      position_.z += std::cos(yaw_) * speed / rate;
      break;
    case 2:
      position_.x -= std::sin(yaw_) * speed / rate;
      position_.z -= std::cos(yaw_) * speed / rate;
      break;
    case 3:
      position_.x -= std::sin(yaw_ + kSideways) * speed / rate;
      position_.z -= std::cos(yaw_ + kSideways) * speed / rate;
      break;
    case 4:
      position_.x += std::sin(yaw_ + kSideways) * speed / rate;
      position_.z += std::cos(yaw_ + kSideways) * speed / rate;
      break;
    case 5:
      position_.y += speed;
      break;
    case 6:
      position_.y -= speed;
      break;
    case 7:
      if (pitchLimit == 0.0f || pitch_ > -pitchLimit) pitch_ -= angleStep;
      break;
    case 8:
      if (pitchLimit == 0.0f || pitch_ < pitchLimit) pitch_ += angleStep;
      break;
    case 9:
      yaw_ += angleStep;
      break;
    default:
      break;
  }
}

void zr_Scene::SetLight(bool on) {
  if (device_ != nullptr) device_->LightEnable(0, on ? TRUE : FALSE);
  lightOn_ = on;
}

bool zr_Scene::GetLightState() const { return lightOn_; }

D3DXVECTOR3 zr_Scene::GetPosition() const { return position_; }
