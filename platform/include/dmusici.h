// DirectMusic 8: the performance that plays segments, the loader that makes them from files.
#pragma once

#include "dmerror.h"
#include "objbase.h"

typedef LONG MUSIC_TIME;
typedef LONGLONG REFERENCE_TIME;

inline constexpr CLSID CLSID_DirectMusicPerformance = {0xD2AC2881, 0xB39B, 0x11D1, {0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xB1, 0xBD}};
inline constexpr CLSID CLSID_DirectMusicSegment = {0xD2AC2882, 0xB39B, 0x11D1, {0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xB1, 0xBD}};
inline constexpr CLSID CLSID_DirectMusicLoader = {0xD2AC2892, 0xB39B, 0x11D1, {0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xB1, 0xBD}};
inline constexpr GUID GUID_DirectMusicAllTypes = {0xD2AC2893, 0xB39B, 0x11D1, {0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xB1, 0xBD}};
inline constexpr IID IID_IDirectMusicPerformance8 = {0x679C4137, 0xC62E, 0x4147, {0xB2, 0xB4, 0x9D, 0x56, 0x9A, 0xCB, 0x25, 0x4C}};
inline constexpr IID IID_IDirectMusicLoader8 = {0x19E7C08C, 0x0A44, 0x4E6A, {0xA1, 0x16, 0x59, 0x5A, 0x7C, 0xD5, 0xDE, 0x8C}};
inline constexpr IID IID_IDirectMusicSegment8 = {0xC6784488, 0x41A3, 0x418F, {0xAA, 0x15, 0xB3, 0x50, 0x93, 0xBA, 0x42, 0xD4}};

// Audio path types, InitAudio features and PlaySegmentEx flags.
#define DMUS_APATH_SHARED_STEREOPLUSREVERB 1
#define DMUS_APATH_DYNAMIC_3D 6
#define DMUS_APATH_DYNAMIC_MONO 7
#define DMUS_APATH_DYNAMIC_STEREO 8
#define DMUS_AUDIOF_3D 0x1
#define DMUS_AUDIOF_ENVIRON 0x2
#define DMUS_AUDIOF_EAX 0x4
#define DMUS_AUDIOF_DMOS 0x8
#define DMUS_AUDIOF_STREAMING 0x10
#define DMUS_AUDIOF_BUFFERS 0x20
#define DMUS_AUDIOF_ALL 0x3F
#define DMUS_SEGF_REFTIME (1 << 6)
#define DMUS_SEGF_SECONDARY (1 << 7)
#define DMUS_SEGF_QUEUE (1 << 8)
#define DMUS_SEGF_CONTROL (1 << 9)
#define DMUS_SEGF_DEFAULT (1 << 14)
#define DMUS_SEG_REPEAT_INFINITE 0xFFFFFFFF

typedef struct _DMUS_AUDIOPARAMS {
  DWORD dwSize;
  BOOL fInitNow;
  DWORD dwValidData;
  DWORD dwFeatures;
  DWORD dwVoices;
  DWORD dwSampleRate;
  CLSID clsidDefaultSynth;
} DMUS_AUDIOPARAMS;

struct IDirectMusic;
struct IDirectSound;
struct IDirectMusicSegmentState;

// A piece of music or a sound, made by the loader from a file.
struct IDirectMusicSegment : public IUnknown {
  // Times the segment plays after its first time (0: once).
  STDMETHOD(SetRepeats)(DWORD repeats) PURE;
  STDMETHOD(GetRepeats)(DWORD* repeats) PURE;
};

struct IDirectMusicSegment8 : public IDirectMusicSegment {
  // Prepares the segment for the performance (or audio path) given.
  STDMETHOD(Download)(IUnknown* audioPath) PURE;
  STDMETHOD(Unload)(IUnknown* audioPath) PURE;
};

struct IDirectMusicPerformance8 : public IUnknown {
  // Opens the audio output: the default path of `defaultPathType` with `channelCount` channels.
  STDMETHOD(InitAudio)(IDirectMusic** music, IDirectSound** sound, HWND window, DWORD defaultPathType,
                       DWORD channelCount, DWORD flags, DMUS_AUDIOPARAMS* parameters) PURE;
  // Starts a segment. With DMUS_SEGF_SECONDARY it plays beside everything already playing.
  STDMETHOD(PlaySegmentEx)(IUnknown* source, WCHAR* segmentName, IUnknown* transition, DWORD flags,
                           LONGLONG startTime, IDirectMusicSegmentState** segmentState, IUnknown* from,
                           IUnknown* audioPath) PURE;
  // Stops one segment, or everything when both are null.
  STDMETHOD(Stop)(IDirectMusicSegment* segment, IDirectMusicSegmentState* segmentState, MUSIC_TIME time,
                  DWORD flags) PURE;
  // S_OK while the segment (or any, when null) is playing, S_FALSE otherwise.
  STDMETHOD(IsPlaying)(IDirectMusicSegment* segment, IDirectMusicSegmentState* segmentState) PURE;
  // Stops everything and closes the audio output.
  STDMETHOD(CloseDown)() PURE;
};

struct IDirectMusicLoader8 : public IUnknown {
  // Where relative file names are looked for, after the working directory.
  STDMETHOD(SetSearchDirectory)(REFGUID objectClass, WCHAR* path, BOOL clear) PURE;
  // Makes a segment from a MIDI (Standard MIDI File) or WAV file.
  STDMETHOD(LoadObjectFromFile)(REFGUID objectClass, REFIID iid, WCHAR* filePath, void** object) PURE;
  STDMETHOD(ClearCache)(REFGUID objectClass) PURE;
};
