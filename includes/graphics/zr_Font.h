// Text drawn through a D3DX font.
#pragma once

#include <d3dx9.h>

#include <cstdint>

// Font settings. Note the order: width, weight, height.
struct zr_FontDesc {
  std::int32_t width;
  std::int32_t weight;
  std::int32_t height;  // 0: the platform's default size
  std::uint8_t charSet;
  std::uint8_t pitchAndFamily;
  bool italic;
  const char* faceName;  // may be null
};

class zr_Font {
 public:
  zr_Font();
  ~zr_Font();
  zr_Font(const zr_Font&) = delete;
  zr_Font& operator=(const zr_Font&) = delete;

  // Creates the font; one that cannot be made leaves the font disabled. A second call replaces
  // the first font.
  void Initialise(IDirect3DDevice9* device, zr_FontDesc description);
  // Draws the text centred in the rectangle (left, top, right, bottom) and clipped to it. With
  // right or bottom 0 the rectangle is first sized to the text from (left, top). Texts are cut to
  // 255 characters; line breaks start new lines.
  void RenderText(const char* text, int left, int top, int right, int bottom, D3DCOLOR colour);
  void OnLostDevice();
  void OnResetDevice();

 private:
  ID3DXFont* font_;
  bool enabled_;
};
