// RIFF/WAVE reading and conversion to the mixer's format.
#include <cmath>
#include <cstring>

#include "sound_files.h"

namespace zr::dmusic {
namespace {

constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatFloat = 3;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;
constexpr std::uint32_t kLowestRate = 4000;
constexpr std::uint32_t kHighestRate = 192000;

std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t U32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}
bool Tag(const std::uint8_t* p, const char* tag) { return std::memcmp(p, tag, 4) == 0; }

// The GUID that ends every WAVE_FORMAT_EXTENSIBLE sub-format: {xxxxxxxx-0000-0010-8000-00AA00389B71},
// whose first two bytes are the plain format tag.
constexpr std::uint8_t kSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                             0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

struct Format {
  std::uint16_t tag = 0;
  std::uint32_t channels = 0;
  std::uint32_t rate = 0;
  std::uint32_t bits = 0;
};

HRESULT ReadFormat(const std::uint8_t* p, std::uint32_t size, Format* f) {
  if (size < 16) return DMUS_E_INVALIDFILE;
  f->tag = U16(p);
  f->channels = U16(p + 2);
  f->rate = U32(p + 4);
  f->bits = U16(p + 14);
  if (f->tag == kFormatExtensible) {
    if (size < 40 || U16(p + 16) < 22) return DMUS_E_INVALIDFILE;
    if (std::memcmp(p + 26, kSubFormatTail, sizeof kSubFormatTail) != 0) return DMUS_E_UNSUPPORTED_STREAM;
    f->tag = U16(p + 24);
    std::uint32_t validBits = U16(p + 18);
    if (validBits > f->bits) return DMUS_E_INVALIDFILE;
  }
  // The codec first: the other fields of a codec we do not decode (GSM's zero bits a sample, ADPCM's
  // odd blocks) mean nothing to us, and the file is refused for its codec, not as damaged.
  if (f->tag != kFormatPcm && f->tag != kFormatFloat) return DMUS_E_UNSUPPORTED_STREAM;
  if (f->channels == 0 || f->rate == 0 || f->bits == 0) return DMUS_E_INVALIDFILE;
  bool pcm = f->tag == kFormatPcm && (f->bits == 8 || f->bits == 16 || f->bits == 24 || f->bits == 32);
  bool ieee = f->tag == kFormatFloat && (f->bits == 32 || f->bits == 64);
  if (!pcm && !ieee) return DMUS_E_UNSUPPORTED_STREAM;
  // Samples are taken packed, wBitsPerSample / 8 bytes each, whatever other block size the header
  // claims, as SoX takes them; but 24-bit samples in blocks of 4 bytes a channel are containers
  // holding the sample in their high three bytes, as the extensible form stores it (and SciPy
  // reads it): read packed they would play as noise.
  if (pcm && f->bits == 24 && U16(p + 12) == 4 * f->channels) f->bits = 32;
  if (f->channels > 2 || f->rate < kLowestRate || f->rate > kHighestRate) return DMUS_E_UNSUPPORTED_STREAM;
  return S_OK;
}

float Sample(const std::uint8_t* p, const Format& f) {
  if (f.tag == kFormatFloat) {
    double v;
    if (f.bits == 32) {
      float x;
      std::uint32_t bits = U32(p);
      std::memcpy(&x, &bits, sizeof x);
      v = x;
    } else {
      std::uint64_t bits = U32(p) | std::uint64_t{U32(p + 4)} << 32;
      std::memcpy(&v, &bits, sizeof v);
    }
    if (!std::isfinite(v)) return 0.0f;
    return static_cast<float>(v < -1.0 ? -1.0 : v > 1.0 ? 1.0 : v);
  }
  switch (f.bits) {
    case 8:
      return (static_cast<int>(p[0]) - 128) / 128.0f;
    case 16:
      return static_cast<std::int16_t>(U16(p)) / 32768.0f;
    case 24: {
      std::int32_t v = static_cast<std::int32_t>(std::uint32_t{p[0]} << 8 | std::uint32_t{p[1]} << 16 |
                                                 std::uint32_t{p[2]} << 24);
      return static_cast<float>((v >> 8) / 8388608.0);
    }
    default:
      return static_cast<float>(static_cast<std::int32_t>(U32(p)) / 2147483648.0);
  }
}

}  // namespace

FileKind KindOf(const std::uint8_t* data, std::size_t size) {
  if (size >= 4 && Tag(data, "MThd")) return FileKind::kMidi;
  if (size >= 12 && Tag(data, "RIFF")) {
    if (Tag(data + 8, "WAVE")) return FileKind::kWave;
    if (Tag(data + 8, "RMID")) return FileKind::kMidi;
  }
  return FileKind::kUnknown;
}

HRESULT ReadWave(const std::uint8_t* data, std::size_t size, WaveSound* sound) {
  if (size < 12 || !Tag(data, "RIFF") || !Tag(data + 8, "WAVE")) return DMUS_E_UNSUPPORTED_STREAM;
  // Sizes are taken as SoX takes them: the RIFF size is not trusted (writers that stream leave 0,
  // 0xFFFFFFFF or a guess there), chunks are looked for up to the end of the file, and a data chunk
  // larger than what is left holds what is left. A data size of 0 in a file whose RIFF size does not
  // match its length is a header never finished: the samples run to the end of the file. Any other
  // chunk that runs past the end hides the format or the samples still looked for: damage.
  const bool riffSizeMatches = U32(data + 4) == size - 8;
  const std::uint8_t* fmt = nullptr;
  std::uint32_t fmtSize = 0;
  const std::uint8_t* body = nullptr;
  std::uint64_t bodySize = 0;
  std::uint64_t at = 12;
  while (at + 8 <= size && (fmt == nullptr || body == nullptr)) {
    std::uint64_t chunkSize = U32(data + at + 4);
    std::uint64_t start = at + 8;
    if (Tag(data + at, "data") && body == nullptr) {
      body = data + start;
      bodySize = chunkSize > size - start || (chunkSize == 0 && !riffSizeMatches) ? size - start : chunkSize;
      chunkSize = bodySize;
    } else if (start + chunkSize > size) {
      return DMUS_E_INVALIDFILE;
    } else if (Tag(data + at, "fmt ") && fmt == nullptr) {
      fmt = data + start;
      fmtSize = static_cast<std::uint32_t>(chunkSize);
    }
    at = start + chunkSize + (chunkSize & 1);  // chunks are padded to even sizes
  }
  if (fmt == nullptr || body == nullptr) return DMUS_E_INVALIDFILE;

  Format f;
  if (HRESULT hr = ReadFormat(fmt, fmtSize, &f); FAILED(hr)) return hr;
  const std::uint32_t step = f.bits / 8;
  std::uint64_t frames = bodySize / (step * f.channels);  // a partial frame at the end is dropped
  if (frames == 0) return DMUS_E_INVALIDFILE;
  if (frames * kMixRate / f.rate > kMostWaveMixFrames) return DMUS_E_UNSUPPORTED_STREAM;

  sound->rate = f.rate;
  sound->channels = f.channels;
  sound->samples.resize(frames * f.channels);
  for (std::size_t i = 0; i < sound->samples.size(); ++i) sound->samples[i] = Sample(body + i * step, f);
  return S_OK;
}

std::vector<float> ConvertToMix(const WaveSound& sound) {
  const std::size_t frames = sound.Frames();
  if (frames == 0) return {};
  // Sample `i` of side `c`, the ends held flat beyond the sound.
  auto at = [&](std::int64_t i, std::uint32_t c) {
    if (i < 0) i = 0;
    if (i >= static_cast<std::int64_t>(frames)) i = static_cast<std::int64_t>(frames) - 1;
    return sound.samples[static_cast<std::size_t>(i) * sound.channels + (sound.channels == 1 ? 0 : c)];
  };
  if (sound.rate == kMixRate) {
    std::vector<float> out(frames * 2);
    for (std::size_t i = 0; i < frames; ++i)
      for (std::uint32_t c = 0; c < 2; ++c) out[i * 2 + c] = at(static_cast<std::int64_t>(i), c);
    return out;
  }
  // Output frame j sits at source position j * rate / 44,100: its whole part and fraction are
  // kept exactly in integers, so long sounds keep their pitch and length.
  const std::uint64_t outFrames = (std::uint64_t{frames} * kMixRate + sound.rate - 1) / sound.rate;
  std::vector<float> out(outFrames * 2);
  for (std::uint64_t j = 0; j < outFrames; ++j) {
    std::uint64_t position = j * sound.rate;
    auto i = static_cast<std::int64_t>(position / kMixRate);
    float t = static_cast<float>(position % kMixRate) / kMixRate;
    for (std::uint32_t c = 0; c < 2; ++c) {
      float p0 = at(i - 1, c), p1 = at(i, c), p2 = at(i + 1, c), p3 = at(i + 2, c);
      float v = p1 + 0.5f * t * (p2 - p0 + t * (2 * p0 - 5 * p1 + 4 * p2 - p3 + t * (3 * (p1 - p2) + p3 - p0)));
      out[j * 2 + c] = v;
    }
  }
  return out;
}

}  // namespace zr::dmusic
