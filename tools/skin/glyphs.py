"""The glyphs engraved on the buttons' caps, each drawn about (x, y) for a cap
of radius r in the current source colour."""

import math

import cairo

from .primitives import ellipse, rounded_rect, set_font, text_centered


def icon_close(cr, x, y, r):
    d = r * 0.42
    cr.move_to(x - d, y - d)
    cr.line_to(x + d, y + d)
    cr.move_to(x + d, y - d)
    cr.line_to(x - d, y + d)
    cr.set_line_width(2.6)
    cr.set_line_cap(cairo.LINE_CAP_ROUND)
    cr.stroke()


def icon_minimize(cr, x, y, r):
    d = r * 0.45
    cr.move_to(x - d, y + 1)
    cr.line_to(x + d, y + 1)
    cr.set_line_width(2.6)
    cr.set_line_cap(cairo.LINE_CAP_ROUND)
    cr.stroke()


def icon_globe(cr, x, y, r):
    g = r * 0.58
    cr.set_line_width(1.3)
    cr.arc(x, y, g, 0, 2 * math.pi)
    cr.stroke()
    ellipse(cr, x, y, g * 0.45, g)
    cr.stroke()
    cr.move_to(x, y - g)
    cr.line_to(x, y + g)
    cr.move_to(x - g, y)
    cr.line_to(x + g, y)
    for k in (-0.55, 0.55):
        yy = y + g * k
        w = g * math.sqrt(1 - k * k)
        cr.move_to(x - w, yy)
        cr.line_to(x + w, yy)
    cr.set_line_width(1.0)
    cr.stroke()


def icon_speaker(cr, x, y, r):
    s = r / 13.0
    cr.move_to(x - 7 * s, y - 2.6 * s)
    cr.line_to(x - 4 * s, y - 2.6 * s)
    cr.line_to(x + 0.5 * s, y - 6.5 * s)
    cr.line_to(x + 0.5 * s, y + 6.5 * s)
    cr.line_to(x - 4 * s, y + 2.6 * s)
    cr.line_to(x - 7 * s, y + 2.6 * s)
    cr.close_path()
    cr.fill()
    cr.set_line_width(1.3)
    cr.set_line_cap(cairo.LINE_CAP_ROUND)
    for rr in (3.8, 6.8):
        cr.arc(x + 1.2 * s, y, rr * s, -0.8, 0.8)
        cr.stroke()


def icon_help(cr, x, y, r):
    set_font(cr, r * 1.35)
    text_centered(cr, "?", x + 0.3, y)


def icon_dish(cr, x, y, r):
    s = r / 13.0
    cr.save()
    cr.translate(x - 1 * s, y + 0.5 * s)
    cr.rotate(-0.6)
    cr.set_line_width(1.8 * s)
    cr.set_line_cap(cairo.LINE_CAP_ROUND)
    cr.move_to(-7 * s, -2.2 * s)
    cr.curve_to(-4 * s, 5 * s, 4 * s, 5 * s, 7 * s, -2.2 * s)
    cr.stroke()
    cr.set_line_width(1.1 * s)
    cr.move_to(0, 3 * s)
    cr.line_to(0, -5 * s)
    cr.stroke()
    cr.arc(0, -6 * s, 1.5 * s, 0, 2 * math.pi)
    cr.fill()
    cr.restore()
    cr.set_line_width(1.3 * s)
    cr.move_to(x - 1 * s, y + 4 * s)
    cr.line_to(x - 1 * s, y + 8 * s)
    cr.stroke()


def icon_mobile(cr, x, y, r):
    s = r / 13.0
    rounded_rect(cr, x - 4 * s, y - 7 * s, x + 4 * s, y + 7 * s, 1.6 * s)
    cr.set_line_width(1.3 * s)
    cr.stroke()
    cr.rectangle(x - 2.4 * s, y - 4.8 * s, 4.8 * s, 7.6 * s)
    cr.fill()
    cr.arc(x, y + 5 * s, 0.9 * s, 0, 2 * math.pi)
    cr.fill()


def icon_dot(cr, x, y, r):
    cr.arc(x, y, r * 0.22, 0, 2 * math.pi)
    cr.fill()


def icon_sort(cr, x, y, r):
    s = r / 11.0
    for sign in (-1, 1):
        cr.move_to(x - 3.8 * s, y + sign * 1.3 * s)
        cr.line_to(x + 3.8 * s, y + sign * 1.3 * s)
        cr.line_to(x, y + sign * 6.0 * s)
        cr.close_path()
        cr.fill()
