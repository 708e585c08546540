// Direct3D 9's fixed-function pipeline in GLSL: transforms, per-vertex lighting, material colour
// sources, texture stages and the alpha test, for the draws of DrawPrimitive and
// DrawIndexedPrimitive.
//
// One program per combination of the states that change the code (the vertex format, lighting
// on or off and the types of the enabled lights, the colour sources, specular, flat shading, the
// texture stages' operations and arguments, which stages have a texture, the alpha test
// function), generated on first use and kept; everything else (matrices, lights, material,
// colours, the alpha reference) is a uniform, sent when it changed since that program last saw
// it. A draw computes the program's key from the device's states (a few dozen bytes) and looks
// it up only when the key differs from the last draw's.
//
// What the programs compute, as Direct3D 9 defines it:
// - Positions: the row vector times world 0, view and projection; D3D's clip-space z in [0, w]
//   is GL's z * 2 - w. D3D puts pixel centres on integer screen positions, GL on half-integer
//   ones, so clip-space x and y move by just under half a pixel (right and down): the same
//   pixels are covered, an edge on a pixel centre belonging to the triangle on its right or
//   below as D3D's top-left rule has it. XYZRHW vertices are screen positions already (x, y in
//   back-buffer pixels, z the depth, 1/w), mapped for the viewport the same way, neither
//   transformed nor lit.
// - Lighting (D3DRS_LIGHTING, vertices with a normal for the terms that use one), in camera
//   space, per vertex: see the comments in fixed_function.cpp for the formula, attenuation, spot
//   cones, the halfway vector and the colour sources. The first 8 enabled lights, by index.
// - Unlit: diffuse = the vertex colour (opaque white without one), specular = the vertex
//   specular colour (0 without one).
// - Texture stages 0 to 7 in order, up to the first whose COLOROP is D3DTOP_DISABLE: every
//   operation but PREMODULATE, BUMPENVMAP and BUMPENVMAPLUMINANCE (taken as SELECTARG1), the
//   arguments DIFFUSE, CURRENT, TEXTURE, TFACTOR, SPECULAR, TEMP, CONSTANT with COMPLEMENT and
//   ALPHAREPLICATE, RESULTARG CURRENT or TEMP. Results are clamped to [0, 1] at each stage. A
//   stage with no texture reads the texture argument as opaque white. The stage's coordinates
//   are set D3DTSS_TEXCOORDINDEX (low word) of the vertex, (0, 0) when the vertex has no such
//   set; coordinate generation and texture transforms are not offered.
// - Then the specular colour is added (D3DRS_SPECULARENABLE), the alpha test runs on the alpha
//   in 8 bits, and fog is not drawn (D3DRS_FOGENABLE is ignored).
#pragma once

#include <d3d9.h>
#include <epoxy/gl.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "fvf.h"

namespace zr::d3d9 {

class GlDevice;

// The number of texture stages the pipeline runs (and of lights it applies).
inline constexpr unsigned kFixedStages = 8;
inline constexpr unsigned kFixedLights = 8;

// What the code of a program depends on. Bytes only, so that it hashes and compares as memory.
struct StageKey {
  std::uint8_t colorOp, colorArg0, colorArg1, colorArg2;
  std::uint8_t alphaOp, alphaArg0, alphaArg1, alphaArg2;
  std::uint8_t result;    // 1: D3DTA_TEMP, 0: current
  std::uint8_t texCoord;  // the vertex's coordinate set, 0xFF for (0, 0)
  std::uint8_t texture;   // 0: no texture read; 1: the stage's texture; 2: white (none set)
};
struct ProgramKey {
  std::uint8_t rhw, normal, diffuse, specular, texCount;
  std::uint8_t lighting, specularEnable, localViewer, normalize, flat;
  std::uint8_t diffuseSource, ambientSource, specularSource, emissiveSource;  // D3DMCS_*, resolved
  std::uint8_t lightCount, alphaFunc, stageCount;
  std::array<std::uint8_t, kFixedLights> lightTypes;
  std::array<StageKey, kFixedStages> stages;
};

// One draw, checked by the device: the GL buffers and where to read.
struct DrawRequest {
  GLenum mode = GL_TRIANGLES;
  DWORD fvf = 0;
  const FvfLayout* layout = nullptr;
  GLuint vertexBuffer = 0;
  UINT offset = 0;  // bytes to vertex 0
  UINT stride = 0;
  bool indexed = false;
  GLuint indexBuffer = 0;
  UINT indexSize = 2;
  UINT first = 0;  // first vertex, or first index
  UINT count = 0;  // vertices, or indices
  GLint baseVertex = 0;
};

class FixedFunction {
 public:
  // Makes the GL objects; the device's context is current.
  explicit FixedFunction(GlDevice* device);
  ~FixedFunction();
  FixedFunction(const FixedFunction&) = delete;
  FixedFunction& operator=(const FixedFunction&) = delete;

  // Draws with the device's states, after its PrepareDraw. False when no program could be made
  // (see LastError).
  bool Draw(const DrawRequest& request);
  // A GL buffer is going: nothing cached may name it any more.
  void ForgetBuffer(GLuint name);

  // The key the device's states make for a vertex format (exposed for tests).
  ProgramKey KeyFor(const FvfLayout& layout) const;
  static std::string VertexShaderFor(const ProgramKey& key);
  static std::string FragmentShaderFor(const ProgramKey& key);

  std::size_t ProgramCount() const { return programs_.size(); }
  const std::string& LastError() const { return lastError_; }

 private:
  struct Program;
  struct KeyHash {
    std::size_t operator()(const ProgramKey& key) const;
  };
  struct KeyEqual {
    bool operator()(const ProgramKey& a, const ProgramKey& b) const;
  };

  Program* ProgramFor(const ProgramKey& key);
  void SendUniforms(Program& p, const ProgramKey& key);
  void BindVertices(const DrawRequest& request);

  GlDevice* device_;
  GLuint vao_ = 0;
  std::unordered_map<ProgramKey, std::unique_ptr<Program>, KeyHash, KeyEqual> programs_;
  ProgramKey lastKey_{};
  Program* lastProgram_ = nullptr;
  // What the vertex array was last set up with.
  GLuint boundVertices_ = 0;
  UINT boundOffset_ = 0;
  UINT boundStride_ = 0;
  DWORD boundFvf_ = 0;
  GLuint boundIndices_ = 0;
  std::string lastError_;

  // World-view and normal matrices, and the lights in camera space, for the device's states of
  // the change counts they were made with.
  std::uint64_t matricesView_ = ~0ull, matricesWorld_ = ~0ull;
  std::array<float, 16> worldView_{};
  std::array<float, 9> normalMatrix_{};
  std::uint64_t lightsView_ = ~0ull, lightsSeen_ = ~0ull;
  std::array<float, 7 * 4 * kFixedLights> lightData_{};
};

}  // namespace zr::d3d9
