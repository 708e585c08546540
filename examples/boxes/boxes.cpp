// Boxes: a lit, textured crate and a coloured box turning in front of the camera, on a floor.
#include <cstdio>
#include <memory>

#include "objects3d/zr_Box.h"
#include "sample.h"

namespace {

D3DMATERIAL9 WhiteMaterial() {
  D3DMATERIAL9 material{};
  material.Diffuse = D3DCOLORVALUE{1, 1, 1, 1};
  material.Ambient = D3DCOLORVALUE{0.35f, 0.35f, 0.35f, 1};
  material.Specular = D3DCOLORVALUE{0.4f, 0.4f, 0.4f, 1};
  material.Power = 16;
  return material;
}

// A box centred on its position, so that it turns about its middle.
void SetCentredSize(zr_Box& box, IDirect3DDevice9* device, float width, float height, float depth) {
  D3DXVECTOR3 c[8];
  for (int k = 0; k < 8; ++k)
    c[k] = D3DXVECTOR3((k & 2) ? width / 2 : -width / 2, (k & 1) ? height / 2 : -height / 2,
                       (k & 4) ? depth / 2 : -depth / 2);
  box.SetSizeEx(device, box.GetBoxVertex(c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]));
}

class BoxesSample : public Sample {
 public:
  const char* Title() const override { return "Velkor Engine: Kisten"; }

  bool Start(IDirect3DDevice9* device, zr_TextureManager& textures) override {
    textures_ = &textures;
    Build(device);
    return true;
  }

  void SetDeviceStates(IDirect3DDevice9* device) override {
    device->SetRenderState(D3DRS_AMBIENT, D3DCOLOR_XRGB(60, 60, 70));
    device->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    device->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
  }

  void Frame(const SampleFrame& frame) override {
    IDirect3DDevice9* device = frame.device;
    // The boxes set their texture; the stage mixes it with the light.
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetMaterial(&material_);
    const float t = frame.seconds;
    floor_->Render(device);
    crate_->Render(device, D3DXVECTOR3(-2.3f, 0.4f, -2.0f), D3DXVECTOR3(0.25f * t, 0.6f * t, 0.0f));
    coloured_->Render(device, D3DXVECTOR3(2.1f, 0.5f, -1.5f), D3DXVECTOR3(0.0f, -0.8f * t, 0.4f * t));
    device->SetTexture(0, nullptr);
  }

  void Describe(char* text, std::size_t size) override {
    std::snprintf(text, size, "Kisten: eine mit Textur, eine farbig, beleuchtet von einem Punktlicht");
  }

  // The boxes' index buffers live in the default pool.
  void OnLostDevice() override { Destroy(); }
  void OnResetDevice(IDirect3DDevice9* device) override { Build(device); }
  void Stop() override { Destroy(); }

 private:
  void Build(IDirect3DDevice9* device) {
    crate_ = std::make_unique<zr_Box>();
    crate_->SetColor(D3DCOLOR_XRGB(255, 255, 255));
    SetCentredSize(*crate_, device, 2.0f, 2.0f, 2.0f);
    crate_->Initialise(device, textures_);
    crate_->CreateTexture("crate.png", D3DPOOL_MANAGED, 0, D3DX_FILTER_TRIANGLE);
    crate_->SetMaterial(&material_);

    coloured_ = std::make_unique<zr_Box>();
    coloured_->SetColor(D3DCOLOR_XRGB(240, 120, 40));
    SetCentredSize(*coloured_, device, 1.6f, 1.6f, 1.6f);
    coloured_->Initialise(device, textures_);
    coloured_->SetMaterial(&material_);

    floor_ = std::make_unique<zr_Box>();
    floor_->SetColor(D3DCOLOR_XRGB(90, 110, 130));
    floor_->SetSize(device, 16.0f, 0.2f, 16.0f);
    floor_->Initialise(device, textures_);
    floor_->SetPosition(D3DXVECTOR3(-8.0f, -1.6f, -12.0f));
  }

  void Destroy() {
    crate_.reset();
    coloured_.reset();
    floor_.reset();
  }

  zr_TextureManager* textures_ = nullptr;
  D3DMATERIAL9 material_ = WhiteMaterial();
  std::unique_ptr<zr_Box> crate_, coloured_, floor_;
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  BoxesSample sample;
  return RunSample(sample, instance, commandLine);
}
