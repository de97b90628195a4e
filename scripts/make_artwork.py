#!/usr/bin/python3
# Draws Quillmark's window artwork into app/resources/: the button pictures (JPEG, at the
# exact pixel sizes the layout's controls are cut to), the link's hand pointer (a 32 x 32
# icon at 4 bits per pixel) and the window icon (nine images: 16, 32 and 48 pixels, each at
# 4, 8 and 32 bits per pixel).
#
# Needs: apt-get install -y python3-pil     (run with Debian's /usr/bin/python3)
# Usage: scripts/make_artwork.py [output folder]
#
# Every shape is drawn at eight times its size and scaled down, which gives smooth edges.
# Each button picture also comes at twice its size as name@2x.jpg, which Qt reads as device
# pixel ratio 2: the window draws it on screens scaled above 100%, so the artwork stays sharp.
# The title-bar pictures (help, close) are white glyphs on black: the window draws them with
# screen blending, so the black becomes whatever highlight colour the title bar has.
import os
import struct
import sys

from PIL import Image, ImageDraw

SCALE = 8
WINDOW = (245, 245, 245)
ACCENT = (16, 152, 248)        # the window outline's blue
ACCENT_DARK = (10, 110, 196)
STOP = (232, 72, 72)
WHITE = (255, 255, 255)
BLACK = (0, 0, 0)


def canvas(width, height, background):
    image = Image.new("RGBA", (width * SCALE, height * SCALE), background)
    return image, ImageDraw.Draw(image)


def box(*corners):
    """A rectangle in picture pixels, scaled to the drawing canvas."""
    return [round(value * SCALE) for value in corners]


class Drawing:
    """A picture drawn on the large canvas, ready to be scaled down to any whole factor."""

    def __init__(self, image, width, height):
        self.image, self.width, self.height = image, width, height

    def at(self, factor):
        return self.image.resize((self.width * factor, self.height * factor), Image.LANCZOS)


def finish(image, width, height):
    return Drawing(image, width, height)


def tile(draw, width, height, colour):
    """The rounded button face that the folder, search and stop pictures share."""
    draw.rounded_rectangle(box(0.5, 0.5, width - 0.5, height - 0.5), radius=5 * SCALE,
                           fill=colour)


def folder_picture():
    width, height = 30, 26
    image, draw = canvas(width, height, WINDOW)
    tile(draw, width, height, ACCENT)
    # The folder: a tab, a back sheet and a front flap, in white and a pale tint.
    draw.rounded_rectangle(box(7, 7, 14, 11), radius=1.2 * SCALE, fill=WHITE)
    draw.rounded_rectangle(box(7, 9, 23, 19.5), radius=1.5 * SCALE, fill=(206, 232, 253))
    draw.polygon([tuple(box(8.5, 12)), tuple(box(24.5, 12)), tuple(box(22.5, 19.5)),
                  tuple(box(7, 19.5))], fill=WHITE)
    return finish(image, width, height)


def search_picture():
    width, height = 30, 27
    image, draw = canvas(width, height, WINDOW)
    tile(draw, width, height, ACCENT)
    # A magnifying glass: a ring and a handle at forty-five degrees.
    draw.ellipse(box(7.5, 6.5, 18.5, 17.5), outline=WHITE, width=round(2.2 * SCALE))
    draw.line(box(16.8, 15.8, 22.2, 21.2), fill=WHITE, width=round(3 * SCALE))
    draw.ellipse(box(20.7, 19.7, 23.7, 22.7), fill=WHITE)
    return finish(image, width, height)


def stop_picture():
    width, height = 32, 26
    image, draw = canvas(width, height, WINDOW)
    tile(draw, width, height, STOP)
    draw.rounded_rectangle(box(11, 8, 21, 18), radius=1.5 * SCALE, fill=WHITE)
    return finish(image, width, height)


def help_picture():
    width, height = 20, 20
    image, draw = canvas(width, height, BLACK)
    draw.ellipse(box(2.5, 2.5, 17.5, 17.5), outline=WHITE, width=round(1.4 * SCALE))
    # A question mark: a hook, a short stem and a dot.
    draw.arc(box(7, 5.2, 13, 11.2), start=180, end=60, fill=WHITE, width=round(1.6 * SCALE))
    draw.line(box(11.6, 10.2, 10, 11.8), fill=WHITE, width=round(1.6 * SCALE))
    draw.line(box(10, 11.2, 10, 12.6), fill=WHITE, width=round(1.6 * SCALE))
    draw.ellipse(box(9.1, 13.8, 10.9, 15.6), fill=WHITE)
    return finish(image, width, height)


def close_picture():
    width, height = 48, 19
    image, draw = canvas(width, height, BLACK)
    stroke = round(1.5 * SCALE)
    draw.line(box(19.5, 5, 28.5, 14), fill=WHITE, width=stroke)
    draw.line(box(19.5, 14, 28.5, 5), fill=WHITE, width=stroke)
    return finish(image, width, height)


def round_line(draw, points, width, colour):
    """A polyline in picture pixels with round joints and ends."""
    scaled = [tuple(box(x, y)) for x, y in points]
    draw.line(scaled, fill=colour, width=round(width * SCALE), joint="curve")
    radius = width * SCALE / 2
    for x, y in scaled:
        draw.ellipse([x - radius, y - radius, x + radius, y + radius], fill=colour)


def hand_picture():
    """A pointing hand, white with a dark outline; the finger tip is its hot spot (11, 1)."""
    size = 32
    image, draw = canvas(size, size, (0, 0, 0, 0))
    outline = (24, 24, 24, 255)
    fill = (255, 255, 255, 255)
    line = round(1.2 * SCALE)
    parts = [
        ("rounded", box(9, 0.8, 13.4, 17), 2.2),     # the pointing finger
        ("rounded", box(13, 9, 17.2, 18), 2.1),      # folded fingers, knuckles up
        ("rounded", box(16.8, 10, 21, 19), 2.1),
        ("rounded", box(20.6, 11.5, 24.6, 20), 2.0),
        ("rounded", box(9, 14, 24.6, 27), 3.0),      # the palm
        ("rounded", box(10, 24, 23.6, 30.5), 1.5),   # the wrist
    ]
    thumb = [(10, 18.5), (6.2, 14.6), (4.2, 16.2), (9.6, 24.5)]
    # Outlines first, all of them, then the fills: the parts read as one glove.
    for _, rect, radius in parts:
        grown = [rect[0] - line, rect[1] - line, rect[2] + line, rect[3] + line]
        draw.rounded_rectangle(grown, radius=(radius + 1.2) * SCALE, fill=outline)
    round_line(draw, thumb, 5.4, outline)
    round_line(draw, thumb, 3.0, fill)
    for _, rect, radius in parts:
        draw.rounded_rectangle(rect, radius=radius * SCALE, fill=fill)
    # Creases between the folded fingers.
    for x in (17, 20.8):
        draw.line(box(x, 12, x, 16.5), fill=outline, width=round(0.9 * SCALE))
    return finish(image, size, size)


def icon_picture(size):
    """The window icon: a blue tile with a white sheet of cells and a magnifying glass."""
    image, draw = canvas(size, size, (0, 0, 0, 0))
    unit = size / 16.0
    u = lambda *values: box(*(value * unit for value in values))
    draw.rounded_rectangle(u(0.5, 0.5, 15.5, 15.5), radius=3.2 * unit * SCALE,
                           fill=ACCENT + (255,))
    # A sheet of cells: a tinted header row, then ruled rows and one column line.
    draw.rounded_rectangle(u(2.8, 2.4, 11.8, 13.6), radius=0.9 * unit * SCALE, fill=WHITE)
    draw.rectangle(u(2.8, 2.4 + 0.6, 11.8, 5.0), fill=(206, 232, 253))
    draw.rectangle(u(3.4, 2.4, 11.2, 3.0), fill=(206, 232, 253))
    grid = ACCENT + (255,)
    rule = max(SCALE, round(0.55 * unit * SCALE))
    for y in (5.0, 7.6, 10.2):
        draw.line(u(2.8, y, 11.8, y), fill=grid, width=rule)
    draw.line(u(6.0, 2.4, 6.0, 13.6), fill=grid, width=rule)
    draw.ellipse(u(7.8, 7.6, 13.2, 13.0), fill=ACCENT_DARK + (255,), outline=WHITE,
                 width=round(1.1 * unit * SCALE))
    draw.line(u(12.3, 12.1, 14.4, 14.2), fill=WHITE, width=round(1.5 * unit * SCALE))
    return finish(image, size, size)


# The icon file format (ICONDIR, ICONDIRENTRY, then per image a BITMAPINFOHEADER with twice
# the height, the colour table, the colour bitmap bottom-up and the 1-bit AND mask, rows
# padded to four bytes).

def row_bytes(bits_per_row):
    return ((bits_per_row + 31) // 32) * 4


def icon_image_data(picture, bits):
    width, height = picture.size
    alpha = picture.getchannel("A")
    opaque = [[alpha.getpixel((x, y)) >= 128 for x in range(width)] for y in range(height)]
    rgb = Image.new("RGB", picture.size, BLACK)
    rgb.paste(picture, mask=alpha)
    if bits == 32:
        table = b""
        rows = []
        for y in reversed(range(height)):
            row = bytearray()
            for x in range(width):
                r, g, b, a = picture.getpixel((x, y))
                row += bytes((b, g, r, a)) if a else bytes(4)
            rows.append(bytes(row))
    else:
        colours = 1 << bits
        # Black first: the colour under transparent pixels, which the mask lets through.
        quantised = rgb.quantize(colors=colours - 1, method=Image.Quantize.MEDIANCUT)
        palette = quantised.getpalette()[: 3 * (colours - 1)]
        palette += [0] * (3 * (colours - 1) - len(palette))
        table = bytes(4)
        for index in range(colours - 1):
            r, g, b = palette[3 * index: 3 * index + 3]
            table += bytes((b, g, r, 0))
        rows = []
        for y in reversed(range(height)):
            indices = [quantised.getpixel((x, y)) + 1 if opaque[y][x] else 0
                       for x in range(width)]
            if bits == 8:
                row = bytes(indices)
            else:
                row = bytes((indices[x] << 4) | (indices[x + 1] if x + 1 < width else 0)
                            for x in range(0, width, 2))
            rows.append(row.ljust(row_bytes(width * bits), b"\0"))
    mask_rows = []
    for y in reversed(range(height)):
        value = bytearray(row_bytes(width))
        for x in range(width):
            if not opaque[y][x]:
                value[x // 8] |= 0x80 >> (x % 8)
        mask_rows.append(bytes(value))
    colour_bitmap = b"".join(rows)
    mask = b"".join(mask_rows)
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, bits, 0,
                         len(colour_bitmap) + len(mask), 0, 0,
                         (1 << bits) if bits < 32 else 0, 0)
    return header + table + colour_bitmap + mask


def write_icon(path, images):
    """images: (picture, bits per pixel) pairs."""
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, blobs = b"", b""
    for picture, bits in images:
        data = icon_image_data(picture, bits)
        width, height = picture.size
        entries += struct.pack("<BBBBHHII", width % 256, height % 256,
                               16 if bits == 4 else 0, 0, 1, bits, len(data), offset)
        blobs += data
        offset += len(data)
    with open(path, "wb") as out:
        out.write(directory + entries + blobs)


def save_jpeg(picture, path):
    picture.convert("RGB").save(path, "JPEG", quality=95, subsampling=0, optimize=True)


def save_button(drawing, out, name):
    save_jpeg(drawing.at(1), os.path.join(out, name + ".jpg"))
    save_jpeg(drawing.at(2), os.path.join(out, name + "@2x.jpg"))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "app", "resources")
    os.makedirs(out, exist_ok=True)
    save_button(folder_picture(), out, "folder")
    save_button(search_picture(), out, "search")
    save_button(stop_picture(), out, "stop")
    save_button(help_picture(), out, "help")
    save_button(close_picture(), out, "close")
    write_icon(os.path.join(out, "hand.ico"), [(hand_picture().at(1), 4)])
    icons = {size: icon_picture(size).at(1) for size in (16, 32, 48)}
    write_icon(os.path.join(out, "quillmark.ico"),
               [(icons[size], bits) for bits in (4, 8, 32) for size in (16, 32, 48)])


if __name__ == "__main__":
    main()
