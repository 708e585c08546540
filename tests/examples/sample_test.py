#!/usr/bin/env python3
"""sample_test.py PROGRAM DATA_FOLDER boxes|mesh: runs a sample program on the virtual display for
three frames and reads the last. Its frames follow a fixed timeline of 60 a second, so the last
picture is the same on any machine."""
import os
import re
import shutil
import struct
import subprocess
import sys

program, data, mode = sys.argv[1:4]
KINDS = {
    'text': lambda r, g, b: r > 200 and g > 180 and b < 160,
    'orange': lambda r, g, b: r > 120 and g < 0.6 * r and b < 0.3 * r,
    'wood': lambda r, g, b: 25 < r and r > g > b and g > 0.62 * r and r - b > 15,
    'planet': lambda r, g, b: (b > r + 25 and b > 60) or (g > r + 15 and g > b),
    'land': lambda r, g, b: g > r + 15 and g > b,
    'lit': lambda r, g, b: abs(r - 24) + abs(g - 28) + abs(b - 40) > 60,  # not the background
}


def check(ok, what):
    if not ok:
        sys.exit(f'FAIL: {what}')


def sample(*options, model=True):
    """Runs the sample with its data (without its model if asked); returns its exit status."""
    for name in ('error.log', 'shot.bmp', 'ring_planet.x'):
        if os.path.exists(name):
            os.remove(name)
    for name in ('crate.png', 'planet.png', 'ring_planet.x')[:3 if model else 2]:
        shutil.copy(os.path.join(data, name), '.')
    return subprocess.run([program, '--frames', '3', '--screenshot', 'shot.bmp', *options]).returncode


def screenshot():
    """The last frame, as a function from x and y (from the top) to (r, g, b)."""
    check(not os.path.exists('error.log'), 'error.log written')
    b = open('shot.bmp', 'rb').read()
    offset, = struct.unpack_from('<I', b, 10)
    width, height, _, bits = struct.unpack_from('<iiHH', b, 18)
    size, stride = bits // 8, (width * bits // 8 + 3) & ~3
    return lambda x, y: tuple(b[offset + (abs(height) - 1 - y if height > 0 else y) * stride + x * size + c]
                              for c in (2, 1, 0))


def at_least(at, what, kind, minimum, x0, y0, x1, y1):
    n = sum(KINDS[kind](*at(x, y)) for y in range(y0, y1) for x in range(x0, x1))
    print(f'{what}: {n} pixels of {kind}')
    check(n >= minimum, f'{what}: expected at least {minimum}')


def lit(at, what, bright, dark):
    """The light falls on the first region and not the second: half as bright again on average."""
    means = [sum(sum(at(x, y)) for y in range(y0, y1) for x in range(x0, x1)) / ((x1 - x0) * (y1 - y0))
             for x0, y0, x1, y1 in (bright, dark)]
    print(f'{what}: brightness {means[0]:.0f} in the light, {means[1]:.0f} away from it')
    check(means[0] >= 1.5 * means[1], f'{what} is not lit from one side')


def glyphs_per_word(at, line):
    """The glyphs of each word of a line of text (the sample's font leaves at most 3 blank columns
    inside a word and at least 5 between words)."""
    text = KINDS['text']
    rows = ''.join('#' if any(text(*at(x, y)) for x in range(1024)) else '.' for y in range(120))
    top, bottom = [m.span() for m in re.finditer('#+', rows)][line - 1]
    columns = ''.join('#' if any(text(*at(x, y)) for y in range(top, bottom)) else '.' for x in range(1024))
    return [len(re.findall('#+', word)) for word in re.findall(r'#(?:\.{0,3}#)*', columns)]


if mode == 'boxes':
    check(sample() == 0, 'the sample failed')
    at = screenshot()
    # The coloured box right of the middle, the crate (its texture's wood) left of it, the floor.
    at_least(at, 'coloured box', 'orange', 5000, 512, 150, 1024, 700)
    at_least(at, 'crate', 'wood', 5000, 0, 150, 512, 768)
    at_least(at, 'floor', 'lit', 30000, 0, 700, 1024, 768)
    lit(at, 'the crate', (110, 370, 300, 560), (345, 370, 375, 540))
elif mode == 'mesh':
    # Without its model the sample ends at once and names it in error.log.
    check(sample(model=False) != 0, 'the sample went on without its model')
    check('ring_planet.x' in open('error.log').read(), 'error.log does not name the model')
    # At the least detail the model is still drawn, textured (its land) and lit from the left.
    check(sample('--detail', '0') == 0, 'the sample failed')
    at = screenshot()
    at_least(at, 'planet and ring', 'planet', 20000, 312, 200, 712, 600)
    at_least(at, 'land', 'land', 5000, 312, 200, 712, 600)
    lit(at, 'the planet', (390, 430, 450, 560), (590, 430, 640, 560))
    # "Dreiecke: N von M": N (the faces drawn) has three digits, M (all of them) four.
    words = glyphs_per_word(at, 2)
    print('glyphs per word of the face count line:', words)
    check(words[1:4:2] == [3, 4], 'the face count does not show the least detail of a model of thousands of faces')
else:
    check(False, f'unknown mode {mode}')
print('ok:', mode)
