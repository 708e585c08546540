#!/usr/bin/env python3
"""Reads what the game's screen shows, from screenshots saved as binary PPM (P6) files.

  screen_probe.py count FILE KIND X0 Y0 X1 Y1   pixels of KIND in [X0, X1) x [Y0, Y1)
  screen_probe.py bottom FILE X0 X1             last row with lit pixels in columns [X0, X1), or -1
  screen_probe.py diff A B X0 Y0 X1 Y1          pixels that differ between two screenshots (every
                                                second pixel of every second row)
  screen_probe.py match FILE REF X Y            share of REF's pixels (in percent) that FILE shows at X, Y
  screen_probe.py number FILE N                 the pixels of the Nth number of the status line, as text
  screen_probe.py word FILE N                   the same for its Nth word

KIND: lit (not black), yellow (the status line's colour), shot (the bright orange-yellow of a shot).
A "word" of the status line is a run of yellow columns right of the left figure (x >= 118)
separated by gaps of at least four columns: Framerate:NN, Leben, Links:, the left count, /,
Rechts, the right count; "number" counts only the two lives counts (0: left, 1: right). The
pixels come out as a string that is equal for two screenshots exactly when the word's ink is.
"""
import sys

TOLERANCE = 40  # per channel, for pixels that should be the same


def load(path):
    data = open(path, 'rb').read()
    fields = []
    i = 0
    while len(fields) < 4:
        while data[i:i + 1].isspace():
            i += 1
        if data[i:i + 1] == b'#':
            while data[i:i + 1] != b'\n':
                i += 1
            continue
        j = i
        while not data[j:j + 1].isspace():
            j += 1
        fields.append(data[i:j])
        i = j
    if fields[0] != b'P6' or fields[3] != b'255':
        raise SystemExit(f'{path}: not an 8-bit binary PPM')
    return int(fields[1]), int(fields[2]), data[i + 1:]


class Screen:
    def __init__(self, path):
        self.width, self.height, self.pixels = load(path)

    def at(self, x, y):
        o = (y * self.width + x) * 3
        return self.pixels[o], self.pixels[o + 1], self.pixels[o + 2]


KINDS = {
    'lit': lambda r, g, b: r + g + b > 60,
    'yellow': lambda r, g, b: r > 100 and g > 100 and b < 80 and abs(r - g) < 60,
    'shot': lambda r, g, b: r > 200 and g > 120 and b < 170,
}


def count(screen, kind, x0, y0, x1, y1):
    test = KINDS[kind]
    return sum(1 for y in range(y0, y1) for x in range(x0, x1) if test(*screen.at(x, y)))


def bottom(screen, x0, x1):
    lit = KINDS['lit']
    for y in reversed(range(screen.height)):
        if sum(1 for x in range(x0, x1) if lit(*screen.at(x, y))) >= 3:
            return y
    return -1


# Large regions are compared on every second pixel of every second row: polling stays quick.
STEP = 2


def differ(a, b, x0, y0, x1, y1):
    return sum(1 for y in range(y0, y1, STEP) for x in range(x0, x1, STEP)
               if max(abs(p - q) for p, q in zip(a.at(x, y), b.at(x, y))) > TOLERANCE)


def match(screen, ref, x, y):
    same = total = 0
    for j in range(0, ref.height, STEP):
        for i in range(0, ref.width, STEP):
            total += 1
            if max(abs(p - q) for p, q in zip(screen.at(x + i, y + j), ref.at(i, j))) <= TOLERANCE:
                same += 1
    return 100.0 * same / total


# The status line's ink: rows 8..31, from x 118 (right of the left figure, which the text
# overlaps) to 480.
TEXT_TOP, TEXT_BOTTOM, TEXT_LEFT, TEXT_RIGHT = 8, 32, 118, 480


def words(screen):
    yellow = KINDS['yellow']
    found, start, last, gap = [], None, None, 0
    for x in range(TEXT_LEFT, TEXT_RIGHT):
        if any(yellow(*screen.at(x, y)) for y in range(TEXT_TOP, TEXT_BOTTOM)):
            if start is None:
                start = x
            last, gap = x, 0
        elif start is not None:
            gap += 1
            if gap >= 4:
                found.append((start, last))
                start = None
    if start is not None:
        found.append((start, last))
    return found


def ink(screen, box):
    yellow = KINDS['yellow']
    x0, x1 = box
    rows = []
    for y in range(TEXT_TOP, TEXT_BOTTOM):
        rows.append(''.join('#' if yellow(*screen.at(x, y)) else '.' for x in range(x0, x1 + 1)))
    return '/'.join(rows)


def main(argv):
    if len(argv) < 3:
        raise SystemExit(__doc__)
    command, screen = argv[1], Screen(argv[2])
    n = [int(a) for a in argv[3:] if a.lstrip('-').isdigit()]
    if command == 'count':
        print(count(screen, argv[3], *n))
    elif command == 'bottom':
        print(bottom(screen, *n))
    elif command == 'diff':
        print(differ(screen, Screen(argv[3]), *n))
    elif command == 'match':
        print(f'{match(screen, Screen(argv[3]), *n):.1f}')
    elif command in ('word', 'number'):
        found = words(screen)
        if command == 'number':
            # Framerate:NN, Leben, Links:, left count, /, Rechts, right count
            found = [found[3], found[6]] if len(found) == 7 else []
        index = n[0]
        print(ink(screen, found[index]) if index < len(found) else 'none')
    else:
        raise SystemExit(__doc__)


if __name__ == '__main__':
    main(sys.argv)
