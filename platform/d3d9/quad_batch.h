// Textured quads in back-buffer pixels, sent in batches: what D3DX sprites and fonts draw.
//
// Quads gather in one buffer in memory, in runs of one style (texture, blending, sampling,
// clipping). The device flushes them (see HeldDrawing in gl_device.h) before anything else
// touches the back buffer or changes a state they depend on, and a flush draws each run with
// one glDrawElements from one buffer upload, in order. So quads of many Begin/End pairs and of
// many sprites end up in a few draw calls, and the picture is the one drawing each quad at
// once would give.
//
// How a quad is drawn:
// - Positions are back-buffer pixels (x right, y down); a corner at an integer position lies on
//   the edge between pixels, so a quad from (10, 20) to (74, 52) covers exactly the pixels 10..73
//   by 20..51, and with texture coordinates on texel edges each pixel samples its texel's centre.
//   Drawing is clipped to the viewport (positions stay back-buffer pixels).
// - Colour: the texel times the vertex colour. Alpha test of the device (ALPHATESTENABLE,
//   ALPHAREF, ALPHAFUNC) on that colour's alpha in 8 bits, in the fragment shader.
// - Sampling: the device's sampler 0 (filters, addressing), or nearest texels clamped at the
//   edge (text). Coverage textures (GL_R8 with the swizzle ONE, ONE, ONE, RED: glyph atlases)
//   need no mode of their own: they sample as white with the coverage as alpha.
// - No depth test or writes, no culling, no stencil, solid fill; colour write mask as the device
//   has it. Blending off, source alpha over the back buffer, or the device's own blend states.
// - Optionally clipped to a rectangle of the back buffer (a scissor).
#pragma once

#include <d3d9.h>
#include <epoxy/gl.h>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "gl_device.h"

namespace zr::d3d9 {

class QuadBatch final : public HeldDrawing {
 public:
  struct Vertex {
    float x, y;             // back-buffer pixels
    float u, v;             // texture coordinates
    std::uint32_t colour;   // 0xAARRGGBB
  };
  enum class Blend : std::uint8_t { kOff, kSourceAlpha, kDevice };
  enum class Sampling : std::uint8_t { kDeviceSampler0, kNearestClamped };
  struct Style {
    GLuint texture = 0;
    Blend blend = Blend::kSourceAlpha;
    Sampling sampling = Sampling::kDeviceSampler0;
    bool clip = false;
    RECT clipRect{};  // with clip: the back-buffer rectangle drawn into (not empty)
    bool operator==(const Style& o) const {
      return texture == o.texture && blend == o.blend && sampling == o.sampling && clip == o.clip &&
             (!clip || (clipRect.left == o.clipRect.left && clipRect.top == o.clipRect.top &&
                        clipRect.right == o.clipRect.right && clipRect.bottom == o.clipRect.bottom));
    }
  };

  // Makes the GL objects; the device's context is current.
  explicit QuadBatch(GlDevice* device);
  ~QuadBatch();
  QuadBatch(const QuadBatch&) = delete;
  QuadBatch& operator=(const QuadBatch&) = delete;

  // Whether the shaders and buffers could be made.
  bool Ready() const { return ready_; }
  // Room for one quad: four vertices, top left, top right, bottom left, bottom right (any
  // shape: they make the triangles 0 1 2 and 2 1 3). `keep`, when not null, gets a reference
  // until the quad has been drawn (or dropped while the device is lost). Null when not Ready().
  Vertex* Add(const Style& style, IUnknown* keep);
  // Draws everything gathered.
  void Flush();
  void FlushDrawing() override { Flush(); }

  std::size_t PendingQuads() const { return quads_; }
  // GL draw calls and flushes that drew something, since the batcher was made.
  std::uint64_t DrawCalls() const { return drawCalls_; }
  std::uint64_t Flushes() const { return flushes_; }

  // Quads drawn with one buffer upload at most; more are sent in several.
  static constexpr std::uint32_t kMaxQuads = 8192;

 private:
  struct Run {
    Style style;
    IUnknown* keep;
    std::uint32_t first;
    std::uint32_t count;
  };
  struct Program {
    GLuint name = 0;
    GLint toClip = -1;
    GLint alphaRef = -1;
    std::array<float, 4> lastToClip{};
    float lastAlphaRef = -1;
  };

  Program* ProgramFor(DWORD alphaFunc);
  void Draw(const std::vector<Run>& runs, std::uint32_t quads);

  GlDevice* device_;
  bool ready_ = false;
  GLuint vertexShader_ = 0;
  std::array<Program, 9> programs_{};  // by D3DCMP function; 0: no alpha test
  GLuint vao_ = 0;
  GLuint vertexBuffer_ = 0;
  GLuint indexBuffer_ = 0;
  GLuint nearest_ = 0;  // sampler object for kNearestClamped
  std::unique_ptr<Vertex[]> vertices_;
  std::uint32_t quads_ = 0;
  std::vector<Run> runs_;
  std::vector<Run> drawing_;  // the runs of the flush under way (kept for their capacity)
  std::uint64_t drawCalls_ = 0;
  std::uint64_t flushes_ = 0;
};

}  // namespace zr::d3d9
