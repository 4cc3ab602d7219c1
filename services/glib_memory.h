// GLib's allocations owned at the C boundary: a string or block that g_free releases.
#pragma once

#include <glib.h>

#include <memory>

struct GFreeDeleter {
    void operator()(void* p) const { g_free(p); }
};
using GCharPtr = std::unique_ptr<gchar, GFreeDeleter>;
