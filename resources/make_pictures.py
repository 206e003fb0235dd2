#!/usr/bin/env python3
"""Draws the launcher's three pictures, which are the community's own artwork:

  background.png  1672 x 941 RGB   a coastal city at sunset, a car on the shore road
  logo.png        1284 x 544 RGBA  "BRINDLEHUB" lettering over a small skyline
  footer.png      1920 x 1080 RGBA the BRINDLE wordmark with a star, small and centred

usage: make_pictures.py [OUTPUT_DIR]   (default: the folder of this script)

Needs Debian's python3-numpy and python3-pil, and the Be Vietnam Pro package that
scripts/fetch_fonts.sh installs into .deps/ (the lettering is set in its heavy
weights). Everything random is seeded, so the output is the same on every run.
"""
import math
import os
import sys

import numpy as np
from PIL import Image, ImageDraw, ImageFilter, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
FONT_DIR = os.path.join(HERE, "..", ".deps", "fontsource", "node_modules", "@fontsource", "be-vietnam-pro", "files")
SUPERSAMPLE = 4


# --- small raster helpers ---------------------------------------------------

def font(weight, size):
    return ImageFont.truetype(os.path.join(FONT_DIR, f"be-vietnam-pro-latin-{weight}-normal.woff2"), size)


def shape_mask(size, draw_shapes, scale=SUPERSAMPLE):
    """Coverage (0..1 floats) of shapes drawn by draw_shapes(draw, scale) at a
    higher resolution and boxed down, which gives clean anti-aliased edges."""
    w, h = size
    big = Image.new("L", (w * scale, h * scale), 0)
    draw_shapes(ImageDraw.Draw(big), scale)
    return np.asarray(big.resize((w, h), Image.BOX), dtype=np.float32) / 255.0


def blur(array, radius):
    """Gaussian blur of a float array (H x W or H x W x 3) in 0..1."""
    if array.ndim == 2:
        image = Image.fromarray(np.clip(array * 255.0, 0, 255).astype(np.uint8), "L")
        return np.asarray(image.filter(ImageFilter.GaussianBlur(radius)), dtype=np.float32) / 255.0
    return np.stack([blur(array[..., c], radius) for c in range(array.shape[2])], axis=-1)


def colour(hex_text):
    hex_text = hex_text.lstrip("#")
    return np.array([int(hex_text[i:i + 2], 16) / 255.0 for i in (0, 2, 4)], dtype=np.float32)


def over(base, paint, alpha):
    """Paints paint (an RGB colour or an image) over base with per-pixel alpha."""
    a = alpha[..., None]
    return base * (1.0 - a) + paint * a


def add_light(base, paint, amount):
    return np.clip(base + paint * amount[..., None], 0.0, 1.0)


def gradient_rows(height, stops):
    """Rows of colour interpolated between (position 0..1, colour) stops."""
    t = np.linspace(0.0, 1.0, height, dtype=np.float32)
    positions = [p for p, _ in stops]
    rows = np.stack([np.interp(t, positions, [c[i] for _, c in stops]) for i in range(3)], axis=-1)
    return rows.astype(np.float32)


def smoothstep(edge0, edge1, x):
    t = np.clip((x - edge0) / (edge1 - edge0), 0.0, 1.0)
    return t * t * (3.0 - 2.0 * t)


def value_noise(shape, cell, rng):
    """Smooth noise: a coarse random grid, bicubically enlarged."""
    h, w = shape
    grid = rng.random((h // cell + 3, w // cell + 3)).astype(np.float32)
    image = Image.fromarray((grid * 255).astype(np.uint8), "L")
    big = image.resize(((w // cell + 3) * cell, (h // cell + 3) * cell), Image.BICUBIC)
    return np.asarray(big, dtype=np.float32)[:h, :w] / 255.0


def to_image(rgb, alpha=None):
    data = np.clip(rgb * 255.0 + 0.5, 0, 255).astype(np.uint8)
    if alpha is None:
        return Image.fromarray(data, "RGB")
    a = np.clip(alpha * 255.0 + 0.5, 0, 255).astype(np.uint8)
    return Image.fromarray(np.dstack([data, a]), "RGBA")


def star_points(cx, cy, outer, inner, turn=-math.pi / 2):
    points = []
    for i in range(10):
        radius = outer if i % 2 == 0 else inner
        angle = turn + i * math.pi / 5
        points.append((cx + radius * math.cos(angle), cy + radius * math.sin(angle)))
    return points


def scaled(points, s):
    return [(x * s, y * s) for x, y in points]


# --- the city skyline, shared by the background and the logo ------------------

def skyline_buildings(rng, left, right, base, low, high, count_hint):
    """Random towers between left and right standing on base; each is
    (x0, x1, top, kind) where kind picks a roof: flat, spire, stepped or slanted."""
    buildings = []
    x = left
    while x < right:
        width = rng.uniform(0.6, 1.4) * (right - left) / count_hint
        centre = (x + width / 2 - left) / (right - left)
        # Taller in the middle of the group, like a downtown.
        peak = 0.35 + 0.65 * math.exp(-((centre - 0.5) ** 2) / 0.06)
        height = low + (high - low) * peak * rng.uniform(0.45, 1.0)
        kind = rng.choice(["flat", "flat", "spire", "stepped", "slant"])
        buildings.append((x, min(x + width, right), base - height, kind))
        x += width * rng.uniform(0.75, 1.0)
    return buildings


def draw_building(draw, s, b, base, fill=255):
    x0, x1, top, kind = b
    w = x1 - x0
    if kind == "spire":
        draw.rectangle([x0 * s, top * s, x1 * s, base * s], fill=fill)
        mid = (x0 + x1) / 2
        draw.polygon(scaled([(mid - w * 0.18, top), (mid, top - w * 1.1), (mid + w * 0.18, top)], s), fill=fill)
    elif kind == "stepped":
        draw.rectangle([x0 * s, top * s, x1 * s, base * s], fill=fill)
        draw.rectangle([(x0 + w * 0.2) * s, (top - w * 0.35) * s, (x1 - w * 0.2) * s, top * s], fill=fill)
        draw.rectangle([(x0 + w * 0.38) * s, (top - w * 0.6) * s, (x1 - w * 0.38) * s, top * s], fill=fill)
    elif kind == "slant":
        draw.polygon(scaled([(x0, top + w * 0.35), (x1, top), (x1, base), (x0, base)], s), fill=fill)
    else:
        draw.rectangle([x0 * s, top * s, x1 * s, base * s], fill=fill)


def window_grid(size, towers, base, rng, margin, pitch, cell, share, levels=None):
    """Coverage of lit windows: a grid inside each tower (margins left, top,
    right, bottom), of which the given share is on, at random brightness levels
    when levels is given."""
    windows = Image.new("L", size, 0)
    draw = ImageDraw.Draw(windows)
    for x0, x1, top, _ in towers:
        for wy in np.arange(top + margin[1], base - margin[3], pitch[1]):
            for wx in np.arange(x0 + margin[0], x1 - margin[2], pitch[0]):
                if rng.random() < share:
                    level = int(rng.uniform(*levels)) if levels else 255
                    draw.rectangle([wx, wy, wx + cell[0], wy + cell[1]], fill=level)
    return np.asarray(windows, np.float32) / 255.0


# --- background: coastal city at sunset ---------------------------------------

def background():
    W, H = 1672, 941
    rng = np.random.default_rng(7)
    horizon = 0.585 * H
    sun = (0.665 * W, horizon - 18.0)
    ys, xs = np.mgrid[0:H, 0:W].astype(np.float32)

    # Sky: night blue at the top through violet and rose to a hot band at the horizon.
    sky = gradient_rows(int(horizon) + 1, [
        (0.00, colour("#141b44")), (0.30, colour("#3a2d6e")), (0.55, colour("#8a3f7c")),
        (0.75, colour("#e0605a")), (0.90, colour("#ff9a4a")), (1.00, colour("#ffd27a"))])
    image = np.zeros((H, W, 3), np.float32)
    image[:int(horizon) + 1] = sky[:, None, :]

    # Sun glow: warm light around the disc, wider across than up.
    dx = (xs - sun[0]) / W
    dy = (ys - sun[1]) / H
    glow = np.exp(-(dx ** 2 / 0.02 + dy ** 2 / 0.012))
    halo = np.exp(-(dx ** 2 / 0.0015 + dy ** 2 / 0.0015))
    image = add_light(image, colour("#ff8a3c"), 0.45 * glow * (ys < horizon + 2))
    image = add_light(image, colour("#ffe0a0"), 0.45 * halo * (ys < horizon + 2))

    # Clouds: long streaks lit from below, pinker away from the sun.
    streaks = value_noise((H, W // 6), 14, rng)
    streaks = np.asarray(Image.fromarray((streaks * 255).astype(np.uint8)).resize((W, H), Image.BICUBIC),
                         np.float32) / 255.0
    detail = value_noise((H // 3, W), 24, rng)
    detail = np.asarray(Image.fromarray((detail * 255).astype(np.uint8)).resize((W, H), Image.BICUBIC),
                        np.float32) / 255.0
    cloud = blur(smoothstep(0.5, 0.8, streaks * 0.8 + detail * 0.3), 2.5)
    band = smoothstep(0.05, 0.25, ys / H) * (1.0 - smoothstep(0.42, 0.56, ys / H))
    cloud *= band
    lit = np.clip(1.0 - np.abs(dx) * 2.2, 0.0, 1.0)
    cloud_colour = over(np.broadcast_to(colour("#5a2f6e"), (H, W, 3)), colour("#ffb070"), lit * 0.9)
    image = over(image, cloud_colour, cloud * 0.75)

    # The sun itself, sitting on the sea.
    disc = shape_mask((W, H), lambda d, s: d.ellipse([(sun[0] - 44) * s, (sun[1] - 44) * s,
                                                       (sun[0] + 44) * s, (sun[1] + 44) * s], fill=255))
    disc_colour = over(np.broadcast_to(colour("#fff8d8"), (H, W, 3)), colour("#ffb347"),
                       smoothstep(sun[1] - 40, sun[1] + 30, ys))
    image = over(image, disc_colour, disc * (ys < horizon))

    # Far hills on the left, hazy violet.
    hills = shape_mask((W, H), lambda d, s: d.polygon(scaled(
        [(0, horizon - 120), (160, horizon - 150), (330, horizon - 105), (520, horizon - 128),
         (700, horizon - 70), (860, horizon - 30), (940, horizon), (0, horizon)], s), fill=255))
    image = over(image, colour("#5b3a72"), hills * 0.85)

    # Downtown on the headland: dark towers, edges lit from the sun side.
    city_rng = np.random.default_rng(11)
    towers = skyline_buildings(city_rng, 30, 900, horizon + 6, 40, 260, 26)
    city = shape_mask((W, H), lambda d, s: [draw_building(d, s, b, horizon + 6) for b in towers])
    depth = smoothstep(horizon - 300, horizon, ys)
    city_colour = over(np.broadcast_to(colour("#2a1838"), (H, W, 3)), colour("#140d22"), depth)
    image = over(image, city_colour, city)
    rim = np.clip(city - np.roll(city, 3, axis=1), 0.0, 1.0)
    image = add_light(image, colour("#ff9a5a"), rim * 0.55)

    # Lit windows: a warm grid inside each tower, many of them on.
    window_light = window_grid((W, H), towers, horizon, city_rng, (4, 10, 5, 4), (7.0, 9.0), (2.5, 3.5), 0.42,
                               (120, 255)) * city
    image = add_light(image, colour("#ffc86a"), window_light * 0.9)
    image = add_light(image, colour("#ffb050"), blur(window_light, 3) * 0.5)

    # Sea: the sky mirrored and darkened, a broken column of sunlight, city reflections.
    sea_rows = gradient_rows(H - int(horizon), [
        (0.0, colour("#d86a5a")), (0.12, colour("#8a3f6c")), (0.45, colour("#2f2a58")), (1.0, colour("#101a3a"))])
    sea = np.zeros((H, W, 3), np.float32)
    sea[int(horizon):] = sea_rows[:, None, :]
    ripple = value_noise((H, W), 5, rng)
    ripple_lines = np.asarray(Image.fromarray((ripple * 255).astype(np.uint8)).resize((W // 14, H))
                              .resize((W, H), Image.BICUBIC), np.float32) / 255.0
    below = ys >= horizon
    column = np.exp(-((xs - sun[0]) ** 2) / (2 * (26 + (ys - horizon) * 0.55) ** 2))
    sparkle = smoothstep(0.55, 0.8, ripple_lines) * column
    sea = add_light(sea, colour("#ffd08a"), (column * 0.35 + sparkle * 0.9) * below)
    reflection = np.flipud(city)
    shift = int(2 * horizon + 12) - H
    reflected = np.zeros_like(city)
    reflected[int(horizon):] = reflection[H - int(horizon) - shift:H - shift][:H - int(horizon)] \
        if shift >= 0 else reflection[int(horizon):]
    reflected = blur(reflected * (ripple_lines > 0.4), 2) * np.exp(-(ys - horizon) / 120.0)
    sea = over(sea, colour("#1a1230"), reflected * 0.6 * below)
    image = np.where(below[..., None], sea, image)

    # Shore road: a sea wall, the road, lamps and palms.
    wall_top = 0.775 * H
    road_top = 0.815 * H
    road = gradient_rows(H - int(road_top), [(0.0, colour("#3a2a40")), (0.35, colour("#1d1626")),
                                               (1.0, colour("#0b0a12"))])
    image[int(wall_top):int(road_top)] = colour("#24182c")
    image = add_light(image, colour("#ff9a5a"), ((ys >= wall_top) & (ys < wall_top + 2.5)).astype(np.float32) * 0.5)
    image[int(road_top):] = road[:, None, :]
    # The wet asphalt catches the sky in soft streaks.
    sheen = np.exp(-((xs - sun[0]) ** 2) / (2 * 260.0 ** 2)) * (ys >= road_top) * np.exp(-(ys - road_top) / 60.0)
    image = add_light(image, colour("#ff9a60"), sheen * 0.35)
    dashes = shape_mask((W, H), lambda d, s: [d.rectangle([x * s, (0.90 * H) * s, (x + 70) * s,
                                                          (0.90 * H + 4) * s], fill=255)
                                              for x in range(-40, W, 150)])
    image = over(image, colour("#c8a27a"), dashes * 0.55)

    lamp_xs = [140, 520, 900, 1280, 1620]
    lamps = shape_mask((W, H), lambda d, s: [
        (d.rectangle([(x - 3) * s, (wall_top - 230) * s, (x + 3) * s, wall_top * s], fill=255),
         d.line([x * s, (wall_top - 228) * s, (x + 30) * s, (wall_top - 236) * s], fill=255, width=4 * s))
        for x in lamp_xs])
    image = over(image, colour("#120c1a"), lamps)
    lamp_glow = np.zeros((H, W), np.float32)
    for x in lamp_xs:
        lamp_glow += np.exp(-(((xs - x - 30) ** 2) + (ys - wall_top + 236) ** 2) / (2 * 14.0 ** 2))
    image = add_light(image, colour("#ffe0a0"), np.clip(lamp_glow, 0, 1) * 0.9)
    image = add_light(image, colour("#ffb060"), blur(np.clip(lamp_glow, 0, 1), 18) * 1.2)

    def palm(d, s, x, base, height, lean):
        top = (x + lean, base - height)
        trunk = []
        for i in range(13):
            t = i / 12
            cx = x + lean * t * t
            cy = base - height * t
            half = 9 - 5 * t
            trunk.append((cx - half, cy))
        for i in range(12, -1, -1):
            t = i / 12
            cx = x + lean * t * t
            cy = base - height * t
            half = 9 - 5 * t
            trunk.append((cx + half, cy))
        d.polygon(scaled(trunk, s), fill=255)
        for k in range(9):
            angle = -math.pi + k * (math.pi * 1.15 / 8) - 0.08
            length = 120 + 30 * math.sin(k * 1.7)
            leaf_top, leaf_bottom = [], []
            for i in range(11):
                t = i / 10
                droop = 70 * t * t
                px = top[0] + math.cos(angle) * length * t
                py = top[1] + math.sin(angle) * length * t * 0.55 + droop
                width = 13 * math.sin(math.pi * min(t * 1.1, 1.0))
                nx, ny = -math.sin(angle), math.cos(angle)
                leaf_top.append((px + nx * width, py + ny * width * 0.5 - width * 0.5))
                leaf_bottom.append((px - nx * width * 0.3, py + width * 0.6))
            d.polygon(scaled(leaf_top + leaf_bottom[::-1], s), fill=255)

    palms = shape_mask((W, H), lambda d, s: [palm(d, s, 60, wall_top + 4, 420, 60),
                                             palm(d, s, 1120, wall_top + 4, 360, -50),
                                             palm(d, s, 1560, wall_top + 4, 460, -70)])
    image = over(image, colour("#0d0914"), palms)
    palm_rim = np.clip(palms - np.roll(palms, 2, axis=1), 0.0, 1.0)
    image = add_light(image, colour("#ff8a4a"), palm_rim * 0.45)

    image = draw_car(image, xs, ys, W, H, ground=0.948 * H, left=0.335 * W, length=600.0)

    # Finish: a soft vignette and fine grain, like a photograph.
    vignette = 1.0 - 0.35 * (((xs / W - 0.5) ** 2) * 1.4 + ((ys / H - 0.45) ** 2) * 1.6)
    image = image * vignette[..., None]
    image = image + (rng.standard_normal((H, W, 1)).astype(np.float32) * 0.012)
    return to_image(np.clip(image, 0.0, 1.0))


def draw_car(image, xs, ys, W, H, ground, left, length):
    """A low red coupe in side view, facing left, lit by the sunset behind it."""
    k = length / 600.0

    def at(points):
        return [(left + x * k, ground - y * k) for x, y in points]

    def arch(cx):
        # The wheel opening, from its rear foot over the top to its front foot.
        return [(cx + 46 * math.cos(a), 30 + 46 * math.sin(a)) for a in np.linspace(-0.2, math.pi + 0.2, 14)]

    body_outline = at([
        (6, 22), (0, 44), (8, 60), (40, 68), (150, 82), (218, 90), (300, 134), (340, 137), (402, 133),
        (470, 112), (528, 98), (586, 92), (600, 74), (598, 38), (588, 22)] + arch(480) + arch(115))
    glass = at([(232, 92), (302, 128), (340, 131), (400, 127), (462, 106), (232, 92)])
    wheels = [(115, 34), (480, 34)]

    body = shape_mask((W, H), lambda d, s: d.polygon(scaled(body_outline, s), fill=255))
    # Shadow on the road first.
    shadow = shape_mask((W, H), lambda d, s: d.ellipse([(left - 10 * k) * s, (ground - 14 * k) * s,
                                                        (left + 615 * k) * s, (ground + 12 * k) * s], fill=255))
    image = over(image, colour("#050308"), blur(shadow, 6) * 0.85)

    height = 140 * k
    t = np.clip((ground - ys) / height, 0.0, 1.0)
    paint = over(np.broadcast_to(colour("#3a0610"), ys.shape + (3,)), colour("#b0202a"), smoothstep(0.2, 0.75, t))
    # The shoulder line and roof catch the orange sky.
    shoulder = np.exp(-((t - 0.6) ** 2) / 0.002) * 0.8 + np.exp(-((t - 0.93) ** 2) / 0.003) * 0.6
    paint = add_light(paint, colour("#ffa070"), shoulder * np.clip((xs - left) / (600 * k), 0.2, 1.0))
    image = over(image, paint, body)

    top_edge = np.clip(body - np.roll(body, 2, axis=0), 0.0, 1.0)
    image = add_light(image, colour("#ffd0a0"), top_edge * 0.8)

    window = shape_mask((W, H), lambda d, s: d.polygon(scaled(glass, s), fill=255))
    glass_colour = over(np.broadcast_to(colour("#1c1430"), ys.shape + (3,)), colour("#e07a6a"),
                        smoothstep(ground - 130 * k, ground - 95 * k, ys) * 0.7)
    image = over(image, glass_colour, window)
    pillar = shape_mask((W, H), lambda d, s: d.polygon(scaled(at([(340, 131), (352, 131), (350, 96), (338, 96)]), s),
                                                       fill=255))
    image = over(image, colour("#2a0810"), pillar * window)

    for cx, cy in wheels:
        cx, cy = left + cx * k, ground - cy * k
        tyre = shape_mask((W, H), lambda d, s: d.ellipse([(cx - 36 * k) * s, (cy - 36 * k) * s,
                                                          (cx + 36 * k) * s, (cy + 36 * k) * s], fill=255))
        image = over(image, colour("#0a0a0e"), tyre)
        rim = shape_mask((W, H), lambda d, s: d.ellipse([(cx - 23 * k) * s, (cy - 23 * k) * s,
                                                         (cx + 23 * k) * s, (cy + 23 * k) * s], fill=255))
        image = over(image, colour("#6a6470"), rim)
        spokes = shape_mask((W, H), lambda d, s: [
            d.line([cx * s, cy * s, (cx + math.cos(a) * 21 * k) * s, (cy + math.sin(a) * 21 * k) * s],
                   fill=255, width=int(5 * k * s)) for a in np.linspace(0, 2 * math.pi, 6)[:-1]])
        hub = shape_mask((W, H), lambda d, s: d.ellipse([(cx - 6 * k) * s, (cy - 6 * k) * s,
                                                         (cx + 6 * k) * s, (cy + 6 * k) * s], fill=255))
        image = over(image, colour("#1e1c24"), rim * (1 - spokes) * 0.8)
        image = over(image, colour("#c8c0c8"), hub)
        image = add_light(image, colour("#ffb080"), rim * np.clip((cy - ys) / (23 * k), 0, 1) * 0.35)

    # Lamps: a white headlight at the nose, red tail lights with a haze.
    head = np.exp(-(((xs - (left + 10 * k)) ** 2) / 40.0 + ((ys - (ground - 56 * k)) ** 2) / 12.0))
    image = add_light(image, colour("#fff6e0"), np.clip(head * 1.5, 0, 1))
    image = add_light(image, colour("#fff0c0"), blur(np.clip(head, 0, 1), 22) * 2.0)
    tail = shape_mask((W, H), lambda d, s: d.polygon(scaled(at([(586, 88), (598, 76), (597, 66), (578, 74)]), s),
                                                     fill=255))
    image = add_light(image, colour("#ff3030"), tail)
    image = add_light(image, colour("#ff2020"), blur(tail, 10) * 1.5)
    return image


# --- logo: BRINDLEHUB lettering over a small skyline ---------------------------

def lettering_mask(size, text, weight, height, centre, tracking):
    """Coverage of text set in Be Vietnam Pro, scaled so capitals are height
    pixels tall, centred on centre, with extra tracking (pixels) between letters.
    Returns the coverage and the set width in pixels."""
    w, h = size
    s = SUPERSAMPLE
    face = font(weight, int(height * 1.42 * s))
    cap = face.getbbox("H")
    face = font(weight, int(height * 1.42 * s * (height * s) / (cap[3] - cap[1])))
    cap = face.getbbox("H")
    advances = [face.getlength(ch) for ch in text]
    total = sum(advances) + tracking * s * (len(text) - 1)
    big = Image.new("L", (w * s, h * s), 0)
    d = ImageDraw.Draw(big)
    x = centre[0] * s - total / 2
    y = centre[1] * s - (cap[1] + cap[3]) / 2
    for ch, adv in zip(text, advances):
        d.text((x, y), ch, font=face, fill=255)
        x += adv + tracking * s
    return np.asarray(big.resize((w, h), Image.BOX), np.float32) / 255.0, total / s


def logo():
    W, H = 1284, 544
    ys, xs = np.mgrid[0:H, 0:W].astype(np.float32)
    rng = np.random.default_rng(5)
    base = 292.0

    # The setting sun behind the skyline.
    sun = shape_mask((W, H), lambda d, s: d.ellipse([(W / 2 - 200) * s, (base - 200) * s,
                                                     (W / 2 + 200) * s, (base + 200) * s], fill=255))
    sun *= (ys < base)
    rgb = over(np.broadcast_to(colour("#ffe08a"), (H, W, 3)), colour("#ff6a3c"), smoothstep(base - 200, base, ys))
    alpha = sun

    # The skyline in front of it, darkest at its feet, with lit windows and a gold rim.
    towers = skyline_buildings(rng, 250, 1034, base, 30, 230, 20)
    city = shape_mask((W, H), lambda d, s: [draw_building(d, s, b, base) for b in towers])
    fade = np.clip(1.0 - np.abs(xs - W / 2) / (W * 0.33), 0.0, 1.0) ** 0.5
    city_colour = over(np.broadcast_to(colour("#1d4f78"), (H, W, 3)), colour("#0a2138"),
                       smoothstep(base - 230, base, ys))
    rgb = over(rgb, city_colour, city)
    alpha = np.maximum(alpha * (1.0 - city), city * fade)
    lit = window_grid((W, H), towers, base, rng, (6, 12, 8, 8), (11.0, 13.0), (4, 5), 0.35) * city
    rgb = over(rgb, colour("#ffd36a"), lit * 0.9)
    rim = np.clip(city - np.roll(city, 4, axis=0), 0.0, 1.0)
    rgb = over(rgb, colour("#ffd36a"), rim * 0.85)
    alpha = np.maximum(alpha, (lit * 0.9 + rim * 0.85) * fade)
    line = shape_mask((W, H), lambda d, s: d.rectangle([200 * s, base * s, 1084 * s, (base + 6) * s], fill=255))
    line *= np.clip(1.0 - np.abs(xs - W / 2) / (W * 0.35), 0.0, 1.0)
    rgb = over(rgb, colour("#ffd36a"), line)
    alpha = np.maximum(alpha, line)

    # The lettering: a warm gold face on a dark outline with a soft drop shadow.
    text, _ = lettering_mask((W, H), "BRINDLEHUB", 900, 128, (W / 2, 366), 8)
    outline = np.clip(blur(text, 6) * 3.0, 0.0, 1.0)
    shadow = blur(np.roll(text, 12, axis=0), 10) * 0.6
    rgb = over(rgb, colour("#030a14"), shadow)
    alpha = np.maximum(alpha, shadow)
    rgb = over(rgb, colour("#081726"), outline)
    alpha = np.maximum(alpha, outline)
    face = over(np.broadcast_to(colour("#fff4c8"), (H, W, 3)), colour("#ff9c42"), smoothstep(305, 430, ys))
    rgb = over(rgb, face, text)
    alpha = np.maximum(alpha, text)

    tagline, _ = lettering_mask((W, H), "ROLEPLAY COMMUNITY", 700, 34, (W / 2, 484), 16)
    tagline_back = np.clip(blur(tagline, 4) * 2.5, 0.0, 1.0)
    rgb = over(rgb, colour("#081726"), tagline_back)
    alpha = np.maximum(alpha, tagline_back * 0.8)
    rgb = over(rgb, colour("#d7eef4"), tagline)
    alpha = np.maximum(alpha, tagline)
    return to_image(rgb, alpha)


# --- footer: the wordmark with a star -------------------------------------------

def footer():
    W, H = 1920, 1080
    ys, xs = np.mgrid[0:H, 0:W].astype(np.float32)
    centre_y = H / 2
    # It is shown at about a fourteenth of its size, so the strokes are broad and
    # the edges soft enough to survive the reduction without sparkling.
    star_size, gap = 140, 70
    _, text_width = lettering_mask((W, H), "BRINDLE", 800, 170, (0, 0), 30)
    left = (W - (2 * star_size + gap + text_width)) / 2
    text, _ = lettering_mask((W, H), "BRINDLE", 800, 170, (left + 2 * star_size + gap + text_width / 2, centre_y), 30)
    star = shape_mask((W, H), lambda d, s: d.polygon(
        scaled(star_points(left + star_size, centre_y + 8, star_size, star_size * 0.42), s), fill=255))
    mark = np.maximum(text, star)
    glow = blur(mark, 28) * 0.5
    rgb = np.broadcast_to(colour("#ffd36a"), (H, W, 3)).copy()
    rgb = over(rgb, colour("#fff4d8"), mark * smoothstep(centre_y + 60, centre_y - 90, ys) * 0.6)
    alpha = np.maximum(blur(mark, 3), glow)
    return to_image(rgb, alpha)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else HERE
    which = sys.argv[2:] or ["background", "logo", "footer"]
    makers = {"background": background, "logo": logo, "footer": footer}
    for name in which:
        picture = makers[name]()
        path = os.path.join(out, name + ".png")
        picture.save(path, optimize=True)
        print(f"make_pictures: {path} {picture.size[0]}x{picture.size[1]} {picture.mode}")


if __name__ == "__main__":
    main()
