// Our mixer: any number of voices summed in float stereo at 44,100 Hz, then a soft limiter.
//
// Threads: Render runs on SDL's audio thread (or on the caller's, when a test pulls) and holds the
// mixer's lock while it mixes one block; the performance's calls take the same lock only to add
// a voice, mark voices stopped, ask what plays, or take finished voices out. Voices are made and
// destroyed outside the lock, so neither side waits for more than one block's mixing (about a
// tenth of a millisecond for the game's load).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "limiter.h"

namespace zr::dmusic {

// One playing instance of a segment.
class Voice {
 public:
  Voice(std::uint64_t segment, bool primary) : segment_(segment), primary_(primary) {}
  virtual ~Voice() = default;
  Voice(const Voice&) = delete;
  Voice& operator=(const Voice&) = delete;

  // Called with the mixer's lock held when the voice joins the mix and when it leaves it.
  virtual void Attach() {}
  virtual void Detach() {}

  std::uint64_t segment() const { return segment_; }
  bool primary() const { return primary_; }
  // Still sounding, and not asked to stop.
  bool playing() const { return !finished_ && !stopping_; }
  bool finished() const { return finished_; }
  // Asks the voice to end: it fades out over kFadeFrames instead of stopping with a click.
  void Stop() { stopping_ = true; }
  // Ends the voice at once (the output is closing).
  void Silence() { finished_ = true; }

  // Adds the next `frames` frames of the voice into `mix` (interleaved stereo); `scratch` has room
  // for as many. After its last frame the voice is finished.
  void MixInto(float* mix, float* scratch, std::size_t frames);

  static constexpr std::size_t kFadeFrames = 256;  // 5.8 ms

 protected:
  // Writes up to `frames` frames; fewer when the voice ends.
  virtual std::size_t Produce(float* out, std::size_t frames) = 0;

 private:
  std::uint64_t segment_;
  bool primary_;
  bool stopping_ = false;
  bool finished_ = false;
  std::size_t fadeDone_ = 0;
};

class Mixer {
 public:
  // The most frames mixed in one go; longer pulls are mixed in blocks of this size.
  static constexpr std::size_t kBlockFrames = 1024;

  Mixer();
  ~Mixer();

  // Mixes the next `frames` frames into `out` (interleaved stereo floats).
  void Render(float* out, std::size_t frames);

  // A primary voice stops the primary voices playing before it.
  void Add(std::unique_ptr<Voice> voice);
  // Stops the voices of one segment (0: of every segment).
  void Stop(std::uint64_t segment);
  // Ends every voice without a fade.
  void SilenceAll();
  bool IsPlaying(std::uint64_t segment);
  // Takes the finished voices out of the mix and destroys them (outside the lock).
  void Reap();
  Limiter::Activity limiterActivity();

 private:
  std::mutex mutex_;
  std::vector<std::unique_ptr<Voice>> voices_;
  std::vector<float> scratch_;
  Limiter limiter_;
};

}  // namespace zr::dmusic
