#!/usr/bin/env python3
"""Draws Corvane's pictures and writes them into resources/.

    open_panel.bmp  bitmap 108, 24 x 24, 256 colours: the open dialog's panel
    tile.bmp        bitmap 115, 32 x 32, 256 colours: the window background
    about.bmp       bitmap 118, 148 x 57, 16 colours: the About box picture
    corvane.ico     icon 110, 32 x 32 and 16 x 16, 16 colours with AND masks

Everything is drawn from code with the standard library only, so running the
script again gives the same bytes. Usage: resources/make_art.py [OUTPUT_FOLDER]
"""

import os
import struct
import sys

# ---------------------------------------------------------------------------
# Canvas: a list of rows of (red, green, blue) tuples, or None for a pixel an
# icon leaves transparent.


def new_canvas(width, height, colour):
    return [[colour] * width for _ in range(height)]


def canvas_size(canvas):
    return len(canvas[0]), len(canvas)


def put(canvas, x, y, colour):
    width, height = canvas_size(canvas)
    if 0 <= x < width and 0 <= y < height:
        canvas[y][x] = colour


def fill_rect(canvas, x, y, width, height, colour):
    for row in range(y, y + height):
        for column in range(x, x + width):
            put(canvas, column, row, colour)


def outline_rect(canvas, x, y, width, height, colour):
    for column in range(x, x + width):
        put(canvas, column, y, colour)
        put(canvas, column, y + height - 1, colour)
    for row in range(y, y + height):
        put(canvas, x, row, colour)
        put(canvas, x + width - 1, row, colour)


def mix(a, b, amount):
    """The colour `amount` of the way from a to b (0 gives a, 1 gives b)."""
    return tuple(int(round(p + (q - p) * amount)) for p, q in zip(a, b))


# ---------------------------------------------------------------------------
# A small proportional pixel font: cap height 7, descenders 2 rows below.

GLYPHS = {
    " ": ["...", "...", "...", "...", "...", "...", "..."],
    "C": [".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."],
    "U": ["#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "V": ["#...#", "#...#", "#...#", "#...#", ".#.#.", ".#.#.", "..#.."],
    "Y": ["#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."],
    "a": [".....", ".....", ".###.", "....#", ".####", "#...#", ".####"],
    "e": [".....", ".....", ".###.", "#...#", "#####", "#....", ".###."],
    "l": ["#.", "#.", "#.", "#.", "#.", "#.", ".#"],
    "n": [".....", ".....", "#.##.", "##..#", "#...#", "#...#", "#...#"],
    "o": [".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###."],
    "p": [".....", ".....", "####.", "#...#", "#...#", "#...#", "####.",
          "#....", "#...."],
    "r": ["....", "....", "#.##", "##..", "#...", "#...", "#..."],
    "v": [".....", ".....", "#...#", "#...#", ".#.#.", ".#.#.", "..#.."],
    "w": [".....", ".....", "#...#", "#...#", "#.#.#", "#.#.#", ".#.#."],
    "y": [".....", ".....", "#...#", "#...#", "#...#", "#...#", ".####",
          "....#", ".###."],
}


def text_width(text, scale=1):
    if not text:
        return 0
    columns = sum(len(GLYPHS[ch][0]) for ch in text) + len(text) - 1
    return columns * scale


def draw_text(canvas, x, y, text, colour, scale=1):
    """Draws `text` with its cap line at row y; each font pixel becomes a
    scale x scale block."""
    for ch in text:
        glyph = GLYPHS[ch]
        for row, bits in enumerate(glyph):
            for column, bit in enumerate(bits):
                if bit == "#":
                    fill_rect(canvas, x + column * scale, y + row * scale,
                              scale, scale, colour)
        x += (len(glyph[0]) + 1) * scale


# ---------------------------------------------------------------------------
# A little scene (sky, sun, hill) used as "the picture" inside the motifs,
# given as a brightness from 0 to 1 at a point of the unit square.


def scene_brightness(u, v, sun=True):
    hill_top = 0.58 + 0.5 * (u - 0.3) ** 2
    if v > hill_top:
        return 0.22 - 0.08 * (v - hill_top) / (1 - hill_top)
    sun_u, sun_v, sun_r = 0.70, 0.30, 0.16
    if sun and (u - sun_u) ** 2 + (v - sun_v) ** 2 <= sun_r ** 2:
        return 1.0
    return 0.54 + 0.20 * v


def scene_pixel(column, row, width, height, sun=True):
    """The scene's mean brightness over one pixel of a width x height picture,
    from 4 x 4 samples, so that edges are smooth where colours allow."""
    total = 0.0
    for sy in range(4):
        for sx in range(4):
            total += scene_brightness((column + (sx + 0.5) / 4) / width,
                                      (row + (sy + 0.5) / 4) / height, sun)
    return total / 16


# ---------------------------------------------------------------------------
# Pictures.

SLATE_DARK = (33, 38, 45)
SLATE_LIGHT = (60, 68, 79)


def draw_tile():
    """32 x 32 basket weave: two 16 x 16 cells of four horizontal strands and
    two of four vertical ones, in checkerboard order, so the tile repeats
    without a seam. Each strand is lit from the top left and darkens where it
    dips under the crossing cell."""
    across_light = [0.42, 0.86, 1.0, 0.68]
    dip_light = [0.55, 0.78, 0.92, 1.0, 1.0, 1.0, 1.0, 1.0]
    tile = new_canvas(32, 32, SLATE_DARK)
    for y in range(32):
        for x in range(32):
            horizontal = (x // 16 + y // 16) % 2 == 0
            along, across = (x % 16, y % 16) if horizontal else (y % 16, x % 16)
            light = across_light[across % 4] * dip_light[min(along, 15 - along)]
            # The vertical cells sit a shade lower than the horizontal ones.
            if not horizontal:
                light *= 0.92
            tile[y][x] = mix(SLATE_DARK, SLATE_LIGHT, light)
    return tile


FILM = (30, 31, 36)
SPROCKET = (196, 198, 204)


def draw_film_strip(canvas, y, width, hole_xs):
    """A 4-row strip of film with 2 x 2 sprocket holes at the given columns."""
    fill_rect(canvas, 0, y, width, 4, FILM)
    for x in hole_xs:
        fill_rect(canvas, x, y + 1, 2, 2, SPROCKET)


def grey(level):
    value = int(round(24 + 231 * level))
    return (value, value, value)


def tinted(level, dark, light):
    return mix(dark, light, level)


def draw_open_panel():
    """24 x 24: a frame of film showing the separate-fields layout of a tiny
    16 x 16 picture: Y on the left, U above V on the right, with U in blue
    and V in red."""
    panel = new_canvas(24, 24, FILM)
    holes = [2, 8, 14, 20]
    draw_film_strip(panel, 0, 24, holes)
    draw_film_strip(panel, 20, 24, holes)
    for y in range(16):
        for x in range(16):
            panel[4 + y][x] = grey(scene_pixel(x, y, 16, 16))
    # The chroma planes are too small for the sun; sky and hill carry them.
    for y in range(8):
        for x in range(8):
            level = scene_pixel(x, y, 8, 8, sun=False)
            panel[4 + y][16 + x] = tinted(level, (20, 32, 90), (140, 176, 255))
            panel[12 + y][16 + x] = tinted(level, (90, 20, 24), (255, 150, 140))
    return panel


# Three stacked planes, V at the back, U in the middle and Y in front, are the
# common motif of the icon and the About picture.
V_PLANE = ((150, 30, 36), (226, 80, 76))
U_PLANE = ((36, 70, 168), (96, 140, 236))
OUTLINE = (10, 12, 16)


def draw_plane(canvas, x, y, size, colours):
    """A flat coloured plane with a lit top and left edge."""
    fill, light = colours
    fill_rect(canvas, x, y, size, size, fill)
    fill_rect(canvas, x + 1, y + 1, size - 2, 1, light)
    fill_rect(canvas, x + 1, y + 1, 1, size - 2, light)
    outline_rect(canvas, x, y, size, size, OUTLINE)


def draw_film_plane(canvas, x, y, size, levels):
    """The front plane: a frame of film with a row of sprocket holes above and
    below a grey picture drawn with the given grey colours (dark to light)."""
    fill_rect(canvas, x, y, size, size, FILM)
    outline_rect(canvas, x, y, size, size, OUTLINE)
    # Holes of 2 x 2 pixels 6 apart on larger planes, single pixels every
    # other column on small ones; a big plane leaves a row of film between
    # the holes and the picture.
    hole, pitch = (2, 6) if size >= 20 else (1, 2)
    gap = 1 if size >= 28 else 0
    strip = 1 + hole + gap
    inner = size - 2
    count = (inner + pitch - hole) // pitch
    first = x + 1 + (inner - (count - 1) * pitch - hole) // 2
    for k in range(count):
        fill_rect(canvas, first + k * pitch, y + 1, hole, hole, SPROCKET)
        fill_rect(canvas, first + k * pitch, y + size - 1 - hole, hole, hole, SPROCKET)
    picture_height = size - 2 * strip
    for row in range(picture_height):
        for column in range(inner):
            # On a small plane the sun would only be a blot.
            level = scene_brightness((column + 0.5) / inner,
                                     (row + 0.5) / picture_height, size >= 12)
            index = min(len(levels) - 1, int(level * len(levels)))
            put(canvas, x + 1 + column, y + strip + row, levels[index])


ICON_GREYS = [(70, 72, 78), (130, 134, 140), (190, 192, 198), (246, 246, 246)]


def draw_icon(size):
    """Three stacked planes on a transparent ground: V at the back, U in the
    middle and, in front, a frame of film with a grey picture (the Y plane)."""
    icon = new_canvas(size, size, None)
    plane = size * 5 // 8
    step = (size - plane) // 2
    draw_plane(icon, 0, 0, plane, V_PLANE)
    draw_plane(icon, step, step, plane, U_PLANE)
    draw_film_plane(icon, 2 * step, 2 * step, plane, ICON_GREYS)
    return icon


ABOUT_GROUND = (22, 26, 36)
ABOUT_GREYS = [(74, 78, 86), (136, 140, 148), (196, 198, 204), (250, 250, 250)]
TITLE = (244, 244, 246)
SUBTITLE = (150, 168, 198)


def draw_about():
    """148 x 57: the stacked planes on the left, the name on the right in the
    pixel font at double size, a Y/U/V rule under it and a subtitle."""
    about = new_canvas(148, 57, ABOUT_GROUND)
    plane, step, left, top = 32, 8, 7, 4
    draw_plane(about, left, top, plane, V_PLANE)
    draw_plane(about, left + step, top + step, plane, U_PLANE)
    draw_film_plane(about, left + 2 * step, top + 2 * step, plane, ABOUT_GREYS)
    # Each back plane carries its letter in its uncovered top-left corner.
    draw_text(about, left + 2, top + 2, "V", TITLE)
    draw_text(about, left + step + 2, top + step + 2, "U", TITLE)

    name = "Corvane"
    text_left = 58
    name_width = text_width(name, 2)
    draw_text(about, text_left + 1, 13, name, OUTLINE, 2)
    draw_text(about, text_left, 12, name, TITLE, 2)

    rule_y, third = 31, name_width // 3
    fill_rect(about, text_left, rule_y, third, 2, ABOUT_GREYS[2])
    fill_rect(about, text_left + third, rule_y, third, 2, U_PLANE[1])
    fill_rect(about, text_left + 2 * third, rule_y, name_width - 2 * third, 2,
              V_PLANE[1])

    subtitle = "raw YUV player"
    draw_text(about, text_left + (name_width - text_width(subtitle)) // 2, 37,
              subtitle, SUBTITLE)
    return about


# ---------------------------------------------------------------------------
# File formats: BMP (BITMAPFILEHEADER + BITMAPINFOHEADER, bottom-up rows
# padded to 4 bytes) and ICO (ICONDIR, entries, then per image a
# BITMAPINFOHEADER of double height, colour table, XOR bits and AND mask).


def make_palette(canvas, capacity, first=()):
    """The canvas's colours in order of first appearance (after `first`),
    padded with black to `capacity` entries."""
    palette = list(first)
    for row in canvas:
        for colour in row:
            if colour is not None and colour not in palette:
                palette.append(colour)
    if len(palette) > capacity:
        raise SystemExit("picture has %d colours, %d allowed"
                         % (len(palette), capacity))
    return palette + [(0, 0, 0)] * (capacity - len(palette))


def colour_table(palette):
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)


def pack_row(indices, bits_per_pixel):
    """One row of palette indices (1, 4 or 8 bits each), padded to 4 bytes."""
    per_byte = 8 // bits_per_pixel
    data = bytearray()
    for start in range(0, len(indices), per_byte):
        value = 0
        chunk = indices[start:start + per_byte]
        for k in range(per_byte):
            value <<= bits_per_pixel
            if k < len(chunk):
                value |= chunk[k]
        data.append(value)
    while len(data) % 4:
        data.append(0)
    return bytes(data)


def info_header(width, height, bits_per_pixel, image_bytes, colours):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits_per_pixel,
                       0, image_bytes, 2835, 2835, colours, 0)


def index_rows(canvas, palette):
    lookup = {colour: index for index, colour in reversed(list(enumerate(palette)))}
    return [[lookup[colour] if colour is not None else 0 for colour in row]
            for row in canvas]


def bmp_bytes(canvas, bits_per_pixel):
    width, height = canvas_size(canvas)
    palette = make_palette(canvas, 1 << bits_per_pixel)
    rows = index_rows(canvas, palette)
    pixels = b"".join(pack_row(row, bits_per_pixel) for row in reversed(rows))
    table = colour_table(palette)
    offset = 14 + 40 + len(table)
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return (file_header
            + info_header(width, height, bits_per_pixel, len(pixels), len(palette))
            + table + pixels)


def icon_image_bytes(canvas):
    """One 16-colour icon image; transparent pixels get colour 0 (black) in the
    XOR bits and 1 in the AND mask."""
    width, height = canvas_size(canvas)
    palette = make_palette(canvas, 16, first=[(0, 0, 0)])
    rows = index_rows(canvas, palette)
    xor_bits = b"".join(pack_row(row, 4) for row in reversed(rows))
    and_mask = b"".join(pack_row([1 if colour is None else 0 for colour in row], 1)
                        for row in reversed(canvas))
    return (info_header(width, 2 * height, 4, len(xor_bits) + len(and_mask), 16)
            + colour_table(palette) + xor_bits + and_mask)


def ico_bytes(canvases):
    images = [icon_image_bytes(canvas) for canvas in canvases]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for canvas, image in zip(canvases, images):
        width, height = canvas_size(canvas)
        directory += struct.pack("<BBBBHHII", width % 256, height % 256, 16, 0,
                                 1, 4, len(image), offset)
        offset += len(image)
    return directory + b"".join(images)


def write_file(folder, name, data):
    path = os.path.join(folder, name)
    with open(path, "wb") as out:
        out.write(data)
    print("wrote %s (%d bytes)" % (path, len(data)))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    folder = sys.argv[1] if len(sys.argv) > 1 else here
    os.makedirs(folder, exist_ok=True)
    write_file(folder, "open_panel.bmp", bmp_bytes(draw_open_panel(), 8))
    write_file(folder, "tile.bmp", bmp_bytes(draw_tile(), 8))
    write_file(folder, "about.bmp", bmp_bytes(draw_about(), 4))
    write_file(folder, "corvane.ico", ico_bytes([draw_icon(32), draw_icon(16)]))


if __name__ == "__main__":
    main()
