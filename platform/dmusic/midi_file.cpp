// Standard MIDI File reading: the header, every track's events, and the tempo map that puts them
// on the mixer's clock.
#include <algorithm>
#include <cstring>

#include "sound_files.h"

namespace zr::dmusic {
namespace {

constexpr std::uint32_t kDefaultTempo = 500000;  // microseconds per quarter note: 120 beats a minute

std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }
std::uint32_t U32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | std::uint32_t{p[3]};
}
std::uint32_t U32Le(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}
bool Tag(const std::uint8_t* p, const char* tag) { return std::memcmp(p, tag, 4) == 0; }

// An event as a track holds it: in ticks, with a tempo change as a message of its own.
struct TickEvent {
  std::uint64_t tick;
  bool tempo;
  std::uint32_t tempoValue;
  MidiEvent event;
};

class TrackReader {
 public:
  TrackReader(const std::uint8_t* p, std::size_t size) : p_(p), size_(size) {}
  bool AtEnd() const { return at_ >= size_; }
  bool Byte(std::uint8_t* b) {
    if (at_ >= size_) return false;
    *b = p_[at_++];
    return true;
  }
  // A variable-length quantity: at most four bytes, seven bits each.
  bool Number(std::uint32_t* value) {
    *value = 0;
    for (int i = 0; i < 4; ++i) {
      std::uint8_t b;
      if (!Byte(&b)) return false;
      *value = *value << 7 | (b & 0x7F);
      if ((b & 0x80) == 0) return true;
    }
    return false;
  }
  bool Skip(std::uint32_t n, const std::uint8_t** start) {
    if (n > size_ - at_) return false;
    *start = p_ + at_;
    at_ += n;
    return true;
  }

 private:
  const std::uint8_t* p_;
  std::size_t size_;
  std::size_t at_ = 0;
};

int DataBytes(std::uint8_t status) {
  switch (status & 0xF0) {
    case 0xC0:
    case 0xD0:
      return 1;
    default:
      return 2;
  }
}

// The data bytes that follow a system common or real-time status byte in a track, or -1 for the
// status bytes the MIDI protocol leaves undefined (F4, F5, F9, FD).
int SystemDataBytes(std::uint8_t status) {
  switch (status) {
    case 0xF1:  // MIDI time code quarter frame
    case 0xF3:  // song select
      return 1;
    case 0xF2:  // song position
      return 2;
    case 0xF6:  // tune request
    case 0xF8:  // timing clock
    case 0xFA:  // start
    case 0xFB:  // continue
    case 0xFC:  // stop
    case 0xFE:  // active sensing
      return 0;
    default:
      return -1;
  }
}

// Reads one track's events into `events`; `endTick` becomes the tick of its end.
//
// Running status is the last channel status of the track and only a channel status changes it:
// meta events, system exclusive messages, and the system common and real-time messages some
// recorders leave in a file (read over, not played) all keep it. On a cable a system common
// message would end it; in a file keeping it reads the files that restate the status the same
// way and those that do not as well.
HRESULT ReadTrack(const std::uint8_t* p, std::size_t size, std::vector<TickEvent>* events, MidiSong* song,
                  std::uint64_t* endTick) {
  TrackReader r(p, size);
  std::uint64_t tick = 0;
  std::uint8_t running = 0;
  while (!r.AtEnd()) {
    std::uint32_t delta;
    std::uint8_t status;
    if (!r.Number(&delta) || !r.Byte(&status)) return DMUS_E_INVALIDFILE;
    tick += delta;
    TickEvent e{tick, false, 0, {}};
    if (status < 0x80) {  // running status: this byte is the first data byte
      if (running == 0) return DMUS_E_INVALIDFILE;
      e.event.status = running;
      e.event.data1 = status;
      if (DataBytes(running) == 2 && (!r.Byte(&e.event.data2) || e.event.data2 >= 0x80)) return DMUS_E_INVALIDFILE;
      events->push_back(e);
    } else if (status < 0xF0) {
      running = status;
      e.event.status = status;
      if (!r.Byte(&e.event.data1) || e.event.data1 >= 0x80) return DMUS_E_INVALIDFILE;
      if (DataBytes(status) == 2 && (!r.Byte(&e.event.data2) || e.event.data2 >= 0x80)) return DMUS_E_INVALIDFILE;
      events->push_back(e);
    } else if (status == 0xF0 || status == 0xF7) {
      std::uint32_t length;
      const std::uint8_t* bytes;
      if (!r.Number(&length) || !r.Skip(length, &bytes)) return DMUS_E_INVALIDFILE;
      // A complete message (F0 ... F7) goes to the synthesizer; escapes and continued packets do not.
      if (status == 0xF0 && length >= 1 && bytes[length - 1] == 0xF7) {
        e.event.status = 0xF0;
        e.event.sysexOffset = static_cast<std::uint32_t>(song->sysex.size());
        e.event.sysexLength = length - 1;
        song->sysex.insert(song->sysex.end(), bytes, bytes + length - 1);
        events->push_back(e);
      }
    } else if (status == 0xFF) {
      std::uint8_t type;
      std::uint32_t length;
      const std::uint8_t* bytes;
      if (!r.Byte(&type) || !r.Number(&length) || !r.Skip(length, &bytes)) return DMUS_E_INVALIDFILE;
      if (type == 0x2F) break;  // end of track: anything after it is not played
      if (type == 0x51) {
        // Microseconds a beat in three bytes. As mido reads them, bytes past the three are left
        // and a tempo of 0 holds time still until the next change.
        if (length < 3) return DMUS_E_INVALIDFILE;
        std::uint32_t tempo = std::uint32_t{bytes[0]} << 16 | std::uint32_t{bytes[1]} << 8 | bytes[2];
        e.tempo = true;
        e.tempoValue = tempo;
        events->push_back(e);
      }
    } else {
      const int count = SystemDataBytes(status);
      if (count < 0) return DMUS_E_INVALIDFILE;  // an undefined status byte
      for (int i = 0; i < count; ++i) {
        std::uint8_t b;
        if (!r.Byte(&b) || b >= 0x80) return DMUS_E_INVALIDFILE;
      }
    }
  }
  *endTick = tick;
  return S_OK;
}

HRESULT ReadStandardMidi(const std::uint8_t* data, std::size_t size, MidiSong* song) {
  if (size < 4 || !Tag(data, "MThd")) return DMUS_E_UNSUPPORTED_STREAM;
  if (size < 14) return DMUS_E_INVALIDFILE;
  std::uint32_t headerSize = U32(data + 4);
  if (headerSize < 6 || headerSize > size - 8) return DMUS_E_INVALIDFILE;
  std::uint16_t format = U16(data + 8);
  std::uint16_t tracks = U16(data + 10);
  std::uint16_t division = U16(data + 12);
  // A type 0 header that declares more than one track (some writers do) is played as type 1.
  if (format > 2 || tracks == 0) return DMUS_E_INVALIDFILE;
  if (format == 2) return DMUS_E_UNSUPPORTED_STREAM;

  // Time: with metrical division, ticks per quarter note and a tempo map; with SMPTE division,
  // frames a second (29 meaning 30 drop-frame, that is 29.97) times ticks per frame.
  std::uint64_t smpteNumerator = 0;
  constexpr std::uint64_t smpteDenominator = 1001;
  if (division & 0x8000) {
    int fps = -static_cast<std::int8_t>(division >> 8);
    std::uint32_t perFrame = division & 0xFF;
    if ((fps != 24 && fps != 25 && fps != 29 && fps != 30) || perFrame == 0) return DMUS_E_INVALIDFILE;
    // seconds = ticks * smpteDenominator / smpteNumerator
    smpteNumerator = fps == 29 ? std::uint64_t{30000} * perFrame : static_cast<std::uint64_t>(fps) * perFrame * 1001;
  } else if (division == 0) {
    return DMUS_E_INVALIDFILE;
  }

  std::vector<TickEvent> events;
  std::uint64_t endTick = 0;
  std::uint64_t at = 8 + std::uint64_t{headerSize};
  for (int found = 0; found < tracks;) {
    if (at + 8 > size) return DMUS_E_INVALIDFILE;  // fewer tracks than declared
    std::uint32_t chunkSize = U32(data + at + 4);
    if (chunkSize > size - at - 8) return DMUS_E_INVALIDFILE;
    if (Tag(data + at, "MTrk")) {
      std::uint64_t trackEnd = 0;
      if (HRESULT hr = ReadTrack(data + at + 8, chunkSize, &events, song, &trackEnd); FAILED(hr)) return hr;
      endTick = std::max(endTick, trackEnd);
      ++found;
    }
    at += 8 + std::uint64_t{chunkSize};  // chunks of other kinds are skipped, as the format allows
  }
  // Ties keep the file's order: within a track as written, across tracks track by track.
  std::stable_sort(events.begin(), events.end(),
                   [](const TickEvent& a, const TickEvent& b) { return a.tick < b.tick; });

  // Frames from ticks, exactly: with metrical time the elapsed microseconds times the division
  // add up as whole numbers between tempo changes.
  unsigned __int128 elapsed = 0;  // microseconds * division, up to `lastTick`
  std::uint64_t lastTick = 0;
  std::uint32_t tempo = kDefaultTempo;
  auto frameOf = [&](std::uint64_t tick) -> unsigned __int128 {
    if (smpteNumerator != 0) return static_cast<unsigned __int128>(tick) * kMixRate * smpteDenominator / smpteNumerator;
    unsigned __int128 units = elapsed + static_cast<unsigned __int128>(tick - lastTick) * tempo;
    return units * kMixRate / (static_cast<unsigned __int128>(division) * 1000000);
  };
  song->events.reserve(events.size());
  for (const TickEvent& e : events) {
    if (frameOf(e.tick) > kMostMidiFrames) return DMUS_E_UNSUPPORTED_STREAM;
    if (e.tempo) {
      elapsed += static_cast<unsigned __int128>(e.tick - lastTick) * tempo;
      lastTick = e.tick;
      tempo = e.tempoValue;
      continue;
    }
    MidiEvent m = e.event;
    m.frame = static_cast<std::uint64_t>(frameOf(e.tick));
    song->events.push_back(m);
  }
  unsigned __int128 length = frameOf(endTick);
  if (length > kMostMidiFrames) return DMUS_E_UNSUPPORTED_STREAM;
  song->lengthFrames = static_cast<std::uint64_t>(length);
  return S_OK;
}

}  // namespace

HRESULT ReadMidi(const std::uint8_t* data, std::size_t size, MidiSong* song) {
  *song = MidiSong{};
  if (size > kMostFileBytes) return DMUS_E_UNSUPPORTED_STREAM;
  HRESULT hr = DMUS_E_UNSUPPORTED_STREAM;
  if (KindOf(data, size) == FileKind::kMidi && Tag(data, "RIFF")) {
    // A RIFF MIDI file holds a Standard MIDI File in its "data" chunk.
    std::uint64_t riffEnd = std::uint64_t{U32Le(data + 4)} + 8;
    hr = DMUS_E_INVALIDFILE;
    for (std::uint64_t at = 12; riffEnd <= size && at + 8 <= riffEnd;) {
      std::uint32_t chunkSize = U32Le(data + at + 4);
      if (at + 8 + chunkSize > riffEnd) break;
      if (Tag(data + at, "data")) {
        hr = ReadStandardMidi(data + at + 8, chunkSize, song);
        if (hr == DMUS_E_UNSUPPORTED_STREAM && (chunkSize < 4 || !Tag(data + at + 8, "MThd"))) hr = DMUS_E_INVALIDFILE;
        break;
      }
      at += 8 + std::uint64_t{chunkSize} + (chunkSize & 1);
    }
  } else {
    hr = ReadStandardMidi(data, size, song);
  }
  if (FAILED(hr)) *song = MidiSong{};
  return hr;
}

}  // namespace zr::dmusic
