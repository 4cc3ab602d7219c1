// The built-in side picture, used when "wizard.xpm" is not on the medium. The build
// makes its data with tools/make_wizard_xpm.py.
#pragma once

#include <cstdint>

// Its size in the window's units (device pixels at scale 1).
const int WizardPictureWidth = 140;
const int WizardPictureHeight = 264;

// The picture as XPM data: 3 characters a pixel, "   " for transparent.
extern const char* wizard_xpm[];

// The same picture as pixels ready to draw, row after row without padding:
// wizard_rgba_1x is wizard_xpm decoded, gdk-pixbuf's RGBA bytes (4 a pixel);
// wizard_argb_2x is the picture drawn at twice the size, 280 x 528, for windows of
// scale 2, as cairo ARGB32 values (0xAARRGGBB, premultiplied).
extern const unsigned char wizard_rgba_1x[];
extern const uint32_t wizard_argb_2x[];
