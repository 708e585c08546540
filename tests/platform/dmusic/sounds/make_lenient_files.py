#!/usr/bin/python3
# Writes the files of lenient/ that are ours (not those of other projects, see THIRD_PARTY.md) and
# the newer damaged and unplayed ones of invalid/ and unsupported/, byte by byte; three are made
# with SoX (sox must be installed). Run from this folder: ./make_lenient_files.py
# The files are kept in the tree; this script says how they were made. README.md describes them.
import struct
import subprocess


def vlq(n):
    out = [n & 0x7F]
    while n > 0x7F:
        n >>= 7
        out.append(0x80 | (n & 0x7F))
    return bytes(reversed(out))


def midi(kind, division, *tracks):
    data = b'MThd' + struct.pack('>IHHH', 6, kind, len(tracks), division)
    for events in tracks:
        body = b''.join(vlq(delta) + bytes(message) for delta, message in events)
        data += b'MTrk' + struct.pack('>I', len(body)) + body
    return data


def chunk(tag, body, size=None):
    return tag + struct.pack('<I', len(body) if size is None else size) + body + b'\0' * (len(body) % 2)


def fmt(tag, channels, rate, align, bits, extra=b''):
    return chunk(b'fmt ', struct.pack('<HHIIHH', tag, channels, rate, rate * max(align, 1), align, bits) + extra)


def wave(chunks, riff=None):
    body = b'WAVE' + b''.join(chunks)
    return b'RIFF' + struct.pack('<I', len(body) if riff is None else riff) + body


def write(name, data):
    with open(name, 'wb') as f:
        f.write(data)


def sox(*args):
    return subprocess.run(['sox', *args], check=True, capture_output=True).stdout


END = (0, [0xFF, 0x2F, 0x00])
PCM16_MONO = fmt(1, 1, 22050, 2, 16)
FIVE_FRAMES = struct.pack('<5h', -32768, -16384, 0, 16384, 32767)

# MIDI, 96 ticks a beat (a quarter of a second at 240 beats a minute, half a second at 120).
write('lenient/system_messages.mid', midi(1, 96, [
    (0, [0x90, 60, 100]), (0, [0xF1, 0x12]), (96, [0x80, 60, 0]), (0, [0xF2, 0x05, 0x01]),
    (0, [0x90, 62, 100]), (0, [0xF3, 0x02]), (0, [0xF6]), (96, [0x80, 62, 0]), (0, [0xF8]), (0, [0xFA]),
    (0, [0x91, 64, 90]), (0, [0xFB]), (0, [0xFC]), (96, [0x81, 64, 0]), (0, [0xFE]), END]))
write('lenient/running_status_across_system_messages.mid', midi(0, 96, [
    (0, [0x90, 60, 100]), (0, [0xF8]), (96, [60, 0]), (0, [0xF1, 0x12]), (0, [62, 100]),
    (0, [0xF2, 0x05, 0x01]), (96, [62, 0]), (0, [0xF3, 0x02]), (0, [0xF6]), (0, [0xFE]), (0, [64, 100]),
    (0, [0xFA]), (0, [0xFB]), (0, [0xFC]), (96, [64, 0]), END]))
write('lenient/running_status_across_sysex_and_meta_events.mid', midi(1, 96, [
    (0, [0xC0, 5]), (0, [0xF0, 4, 0x7E, 0x7F, 0x09, 0xF7]), (0, [7]),
    (0, [0x90, 60, 100]), (0, [0xF7, 2, 0xF8, 0xFA]), (96, [60, 0]),
    (0, [0xFF, 0x01, 3, 0x61, 0x62, 0x63]), (0, [62, 100]), (0, [0xFF, 0x85, 1, 0]), (96, [62, 0]), END]))
# The tempo changes to 240 beats a minute between note on and note off of the same running status.
write('lenient/running_status_across_a_tempo_change.mid', midi(0, 96, [
    (0, [0x90, 60, 100]), (96, [0xFF, 0x51, 3, 0x03, 0xD0, 0x90]), (0, [60, 0]), (96, [62, 100]),
    (96, [0xFF, 0x58, 4, 4, 2, 24, 8]), (0, [62, 0]), END]))
write('lenient/type_0_of_three_tracks.mid', midi(
    0, 96, [(0, [0x90, 60, 100]), (192, [0x80, 60, 0]), END],
    [(96, [0x91, 67, 100]), (192, [67, 0]), (0, [0xFF, 0x2F, 0x00])],
    [(96, [0xFF, 0x51, 3, 0x03, 0xD0, 0x90]), (288, [0xFF, 0x2F, 0x00])]))
# A tempo of four bytes (the first three count), then one of 0, which holds time still.
write('lenient/tempo_of_four_bytes_then_of_zero.mid', midi(1, 96, [
    (0, [0xFF, 0x51, 4, 0x0F, 0x42, 0x40, 0x55]), (0, [0x90, 60, 100]), (96, [0x80, 60, 0]),
    (0, [0xFF, 0x51, 3, 0, 0, 0]), (960, [0x90, 62, 100]), (960, [0x80, 62, 0]), END]))

# WAV: 16-bit mono at 22,050 Hz unless said otherwise.
write('lenient/riff_size_zero.wav', wave([PCM16_MONO, chunk(b'data', FIVE_FRAMES)], riff=0))
write('lenient/riff_size_of_the_form_type_alone.wav', wave([PCM16_MONO, chunk(b'data', FIVE_FRAMES)], riff=4))
write('lenient/riff_size_all_ones.wav',
      wave([PCM16_MONO, chunk(b'data', FIVE_FRAMES), chunk(b'LIST', b'INFO')], riff=0xFFFFFFFF))
# 8-bit stereo at 11,025 Hz: three frames and half of a fourth.
write('lenient/data_size_all_ones.wav',
      wave([fmt(1, 2, 11025, 2, 8), b'data\xFF\xFF\xFF\xFF' + bytes([0x00, 0xFF, 0x80, 0x40, 0xC0, 0x81, 0x7F])]))
# A header written before the samples and never finished: RIFF size 36, data size 0.
write('lenient/data_size_zero_in_an_unfinished_header.wav',
      wave([PCM16_MONO, chunk(b'data', b'', size=0)], riff=36)[:44] + FIVE_FRAMES)
pipe = sox('-D', '-n', '-r', '8000', '-c', '1', '-b', '16', '-t', 'wav', '-', 'synth', '0.005', 'sine', '1000')
write('lenient/piped_by_sox.wav', pipe)
# 24-bit samples in blocks of 4 bytes a channel, as some writers declare them in a plain
# WAVEFORMATEX: SoX's 32-bit output with wBitsPerSample changed to 24.
for channels, name in ((1, 'mono'), (2, 'stereo')):
    made = bytearray(sox('-D', '-n', '-r', '8000', '-c', str(channels), '-b', '32', '-e', 'signed', '-t', 'wavpcm',
                         '-', 'synth', '0.001', 'sine', '1000', 'sine', '500'))
    made[4:8] = struct.pack('<I', len(made) - 8)  # the piped header holds placeholder sizes
    data = made.index(b'data')
    made[data + 4:data + 8] = struct.pack('<I', len(made) - data - 8)
    assert made[34:36] == b'\x20\x00' and made[32:34] == struct.pack('<H', 4 * channels)
    made[34:36] = struct.pack('<H', 24)
    write(f'lenient/pcm24_in_blocks_of_4_{name}.wav', bytes(made))
# WAVE_FORMAT_EXTENSIBLE, 24 valid bits in 32: samples 0x7FFFFF00, 0x80000000, 0x00000100 (-1 << 8).
guid = struct.pack('<H', 1) + bytes([0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71])
write('lenient/extensible_24_of_32.wav',
      wave([fmt(0xFFFE, 1, 22050, 4, 32, struct.pack('<HHI', 22, 24, 4) + guid),
            chunk(b'data', struct.pack('<3i', 0x7FFFFF00, -0x80000000, 0x100))]))

# Damaged and unplayed.
for status in (0xF4, 0xF5, 0xF9, 0xFD):
    write(f'invalid/undefined_status_{status:x}.mid', midi(1, 96, [(0, [0x90, 60, 100]), (0, [status]), END]))
write('invalid/system_message_cut_short.mid', midi(1, 96, [(0, [0x90, 60, 100]), (0, [0xF2, 0x05])]))
write('invalid/system_message_with_a_status_for_data.mid', midi(1, 96, [(0, [0xF1, 0x90, 60, 100]), END]))
write('invalid/list_past_the_end_before_the_format.wav',
      wave([chunk(b'LIST', b'INFO', size=1000), PCM16_MONO, chunk(b'data', FIVE_FRAMES)]))
write('invalid/data_past_the_end_before_the_format.wav',
      wave([chunk(b'data', FIVE_FRAMES, size=1000), PCM16_MONO]))
write('invalid/empty_data_then_a_list.wav', wave([PCM16_MONO, chunk(b'data', b''), chunk(b'LIST', b'INFO')]))
write('unsupported/ima_adpcm.wav',
      sox('-D', '-n', '-r', '8000', '-c', '1', '-e', 'ima-adpcm', '-t', 'wav', '-', 'synth', '0.01', 'sine', '440'))
