// Textured quads in back-buffer pixels, sent in batches: what D3DX sprites and fonts draw.
//
// Quads gather in one buffer in memory, in runs of one style (texture, the device's states,
// sampling, clipping). Each quad takes the render and sampler states it depends on from the
// device as it is added, so the device need not flush them when a state changes (sprites set
// their states at Begin and put the caller's back at End); it flushes them (see HeldDrawing in
// gl_device.h) before anything else touches the back buffer or the viewport changes, and a
// flush draws each run with one glDrawElements from one buffer upload, in order. So quads of
// many Begin/End pairs and of many sprites end up in a few draw calls, and the picture is the one
// drawing each quad at once would give.
//
// How a quad is drawn:
// - Positions are back-buffer pixels (x right, y down); a corner at an integer position lies on
//   the edge between pixels, so a quad from (10, 20) to (74, 52) covers exactly the pixels 10..73
//   by 20..51, and with texture coordinates on texel edges each pixel samples its texel's centre.
//   Drawing is clipped to the viewport (positions stay back-buffer pixels).
// - Colour: the texel times the vertex colour (what the sprite's texture stage states say; the
//   device's stage states are not read). The alpha test of the device's states (ALPHATESTENABLE,
//   ALPHAREF, ALPHAFUNC) on that colour's alpha in 8 bits, in the fragment shader.
// - Sampling: the device's sampler 0 states (filters, addressing), or nearest texels clamped at
//   the edge (text). Coverage textures (GL_R8 with the swizzle ONE, ONE, ONE, RED: glyph
//   atlases) need no mode of their own: they sample as white with the coverage as alpha.
// - Blending and the colour write mask as the device's states say; no depth test or writes, no
//   culling, no stencil, solid fill.
// - Optionally clipped to a rectangle of the back buffer (a scissor).
// - Nothing is drawn but by a flush: quads whose texture goes are dropped (Drop(texture)), and
//   Drop() forgets them all when nobody can present them (see GlDevice::Release).
#pragma once

#include <d3d9.h>
#include <epoxy/gl.h>

#include <array>
#include <cstdint>
#include <memory>
#include <utility>
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
  enum class Sampling : std::uint8_t { kDeviceSampler0, kNearestClamped };
  struct Style {
    GLuint texture = 0;
    Sampling sampling = Sampling::kDeviceSampler0;
    bool clip = false;
    RECT clipRect{};  // with clip: the back-buffer rectangle drawn into (not empty)
    std::uint32_t states = 0;  // set by Add: which of the states taken from the device
    bool operator==(const Style& o) const {
      return texture == o.texture && sampling == o.sampling && clip == o.clip && states == o.states &&
             (!clip || (clipRect.left == o.clipRect.left && clipRect.top == o.clipRect.top &&
                        clipRect.right == o.clipRect.right && clipRect.bottom == o.clipRect.bottom));
    }
  };
  // What a quad's drawing takes from the device's states as it is added.
  struct States {
    DWORD alphaFunc = D3DCMP_ALWAYS;  // D3DCMP_ALWAYS while the alpha test is off
    DWORD alphaRef = 0;
    BlendStates blend{};
    DWORD colourWrite = 0xF;
    std::array<DWORD, D3D_MAX_SAMPLERSTATE> sampler{};  // sampler 0, by D3DSAMPLERSTATETYPE
    bool operator==(const States&) const = default;
  };

  // Makes the GL objects; the device's context is current.
  explicit QuadBatch(GlDevice* device);
  ~QuadBatch();
  QuadBatch(const QuadBatch&) = delete;
  QuadBatch& operator=(const QuadBatch&) = delete;

  // Whether the shaders and buffers could be made.
  bool Ready() const { return ready_; }
  // Room for one quad, drawn in `style` with the device's states as they are now: four
  // vertices, top left, top right, bottom left, bottom right (any shape: they make the triangles
  // 0 1 2 and 2 1 3). `keep`, when not null, gets a reference until the quad has been drawn or
  // dropped: a texture or a font, which holds one reference on the device (DeviceReferencesHeld
  // counts on it). Null when not Ready().
  Vertex* Add(Style style, IUnknown* keep);
  // Draws everything gathered.
  void Flush();
  void FlushDrawing() override { Flush(); }
  // Forgets the quads that sample the GL texture `texture`, undrawn.
  void Drop(GLuint texture);
  // Forgets every quad, undrawn, and releases what they keep.
  void Drop();
  // How many references on the device are held by what the quads keep alive alone: kept objects
  // that nothing else holds.
  ULONG DeviceReferencesHeld() const;

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
  // The GL sampler object for sampler states, made the first time they are asked for.
  GLuint SamplerFor(const std::array<DWORD, D3D_MAX_SAMPLERSTATE>& states);
  void Draw(const std::vector<Run>& runs, const std::vector<States>& states, std::uint32_t quads);

  GlDevice* device_;
  bool ready_ = false;
  GLuint vertexShader_ = 0;
  std::array<Program, 9> programs_{};  // by D3DCMP function; 0: no alpha test
  GLuint vao_ = 0;
  GLuint vertexBuffer_ = 0;
  GLuint indexBuffer_ = 0;
  GLuint nearest_ = 0;  // sampler object for kNearestClamped
  std::vector<std::pair<std::array<DWORD, D3D_MAX_SAMPLERSTATE>, GLuint>> samplers_;
  std::unique_ptr<Vertex[]> vertices_;
  std::uint32_t quads_ = 0;
  std::vector<Run> runs_;
  std::vector<States> states_;  // of the quads gathered, as Style::states numbers them
  std::uint64_t renderSerial_ = 0;   // the device's serials when states_.back() was taken
  std::uint64_t samplerSerial_ = 0;
  std::vector<Run> drawing_;  // the runs of the flush under way (kept for their capacity)
  std::vector<States> drawingStates_;
  std::uint64_t drawCalls_ = 0;
  std::uint64_t flushes_ = 0;
};

}  // namespace zr::d3d9
