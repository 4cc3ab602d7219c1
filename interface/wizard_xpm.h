// The built-in side picture, used when "wizard.xpm" is not on the medium.
#pragma once

extern const char* wizard_xpm[];
