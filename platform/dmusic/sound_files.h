// Readers for the two kinds of file a segment is made from: RIFF/WAVE sounds and Standard MIDI
// Files. Both work on bytes in memory, check every size against the bytes there are, and cap
// what they allocate; what they return is ready for the mixer or the sequencer.
//
// They open what mainstream readers (SoX, mido) open, with the same content: sizes that disagree
// with the file are read as SoX reads them, and MIDI oddities that players read over are read
// over (README.md lists what is taken). Results: S_OK; DMUS_E_INVALIDFILE for a damaged file of
// a kind they know (a missing or hidden chunk, no whole frame, bytes that break the format's
// grammar); DMUS_E_UNSUPPORTED_STREAM for a file they do not play (another codec, more than two
// channels, a rate out of range, MIDI type 2, longer than the caps) and for bytes that are
// neither kind.
#pragma once

#include <dmusici.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zr::dmusic {

// The mixer's format: interleaved float stereo (left, right) at 44,100 frames per second.
inline constexpr std::uint32_t kMixRate = 44100;
inline constexpr std::uint32_t kMixChannels = 2;

// The longest sound or piece accepted, in frames of the mix: ten minutes (212 MB as mixed floats)
// for sounds, a day for MIDI pieces (which take no memory per second).
inline constexpr std::uint64_t kMostWaveMixFrames = std::uint64_t{kMixRate} * 600;
inline constexpr std::uint64_t kMostMidiFrames = std::uint64_t{kMixRate} * 86400;
// The largest file the loader reads into memory.
inline constexpr std::size_t kMostFileBytes = std::size_t{256} << 20;

enum class FileKind { kUnknown, kWave, kMidi };
// What the first bytes say: "RIFF"..."WAVE", "MThd", or "RIFF"..."RMID" (a MIDI file in a RIFF
// wrapper, read as MIDI).
FileKind KindOf(const std::uint8_t* data, std::size_t size);

// A decoded sound at its own rate: samples interleaved by channel, in [-1, 1].
struct WaveSound {
  std::uint32_t rate = 0;
  std::uint32_t channels = 0;
  std::vector<float> samples;
  std::size_t Frames() const { return channels == 0 ? 0 : samples.size() / channels; }
};

// PCM of 8 (unsigned), 16, 24 or 32 bits, or IEEE float of 32 or 64 bits, plain or in
// WAVE_FORMAT_EXTENSIBLE dress; mono or stereo; 4,000 to 192,000 Hz. Samples are read packed at
// wBitsPerSample / 8 bytes, whatever the block size (but 24 bits in blocks of 4 bytes a channel
// are 4-byte containers, the sample in their high bytes); the RIFF size is not read, and a data chunk
// larger than the rest of the file (or of size 0 under a RIFF size that is wrong too) holds the
// rest of the file.
HRESULT ReadWave(const std::uint8_t* data, std::size_t size, WaveSound* sound);

// The sound in the mixer's format, resampled with a cubic (Catmull-Rom) interpolator when its rate
// differs; a mono sound goes to both sides at its own level.
std::vector<float> ConvertToMix(const WaveSound& sound);

// One timed MIDI message of a piece. Channel messages carry their status and data bytes; a system
// exclusive message names its bytes (without F0 and the final F7) in MidiSong::sysex.
struct MidiEvent {
  std::uint64_t frame = 0;  // when, in frames of the mix from the start of the piece
  std::uint8_t status = 0;
  std::uint8_t data1 = 0;
  std::uint8_t data2 = 0;
  std::uint32_t sysexOffset = 0;
  std::uint32_t sysexLength = 0;
};

struct MidiSong {
  std::vector<MidiEvent> events;  // in playing order
  std::vector<std::uint8_t> sysex;
  std::uint64_t lengthFrames = 0;  // the end of the longest track
};

// Standard MIDI Files of type 0 and 1 (type 2 is refused; a type 0 header of several tracks is
// read as type 1), with metrical or SMPTE time, tempo changes from any track, running status
// (kept across meta, system exclusive, system common and real-time messages; the last two are
// read over), system exclusive messages; tracks are merged and every event's time converted to
// frames of the mix. A file whose tracks end without an end-of-track event is accepted; fewer
// track chunks than the header declares are not.
HRESULT ReadMidi(const std::uint8_t* data, std::size_t size, MidiSong* song);

}  // namespace zr::dmusic
