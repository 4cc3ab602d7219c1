#include "interface/side_picture.h"

#include <cstring>
#include <string>

#include "interface/wizard_xpm.h"

namespace {

cairo_surface_t* surfaceFromPixels(const uint32_t* pixels, int factor) {
    const int width = WizardPictureWidth * factor;
    const int height = WizardPictureHeight * factor;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    // A copy rather than a surface over the constant array: cairo takes the data as
    // writable.
    for (int y = 0; y < height; ++y)
        std::memcpy(data + static_cast<ptrdiff_t>(y) * stride, pixels + y * width,
                    static_cast<size_t>(width) * sizeof *pixels);
    cairo_surface_mark_dirty(surface);
    cairo_surface_set_device_scale(surface, factor, factor);
    return surface;
}

void showBuiltInPicture(GtkWidget* image) {
    gtk_image_set_from_surface(GTK_IMAGE(image),
                               builtInPictureSurface(gtk_widget_get_scale_factor(image)));
}

void onScaleFactorChanged(GtkWidget* image, GParamSpec*, gpointer) {
    showBuiltInPicture(image);
}

// A window's picture; null when its load gave none.
struct KeptPicture {
    GdkPixbuf* pixbuf;
};

void dropKeptPicture(gpointer data) {
    auto* kept = static_cast<KeptPicture*>(data);
    if (kept->pixbuf)
        g_object_unref(kept->pixbuf);
    delete kept;
}

}  // namespace

cairo_surface_t* builtInPictureSurface(int scale) {
    static cairo_surface_t* surfaces[2] = {};
    const int index = scale >= 2 ? 1 : 0;
    if (!surfaces[index])
        surfaces[index] = surfaceFromPixels(index ? wizard_argb_2x : wizard_argb_1x, index + 1);
    return surfaces[index];
}

GtkWidget* newBuiltInPictureImage() {
    GtkWidget* image = gtk_image_new();
    showBuiltInPicture(image);
    g_signal_connect(image, "notify::scale-factor", G_CALLBACK(onScaleFactorChanged), nullptr);
    return image;
}

GdkPixbuf* windowPicture(GtkWidget* widget, const char* filename,
                         GdkPixbuf* (*load)(const char* filename)) {
    if (!widget)
        return load(filename);
    GObject* window = G_OBJECT(gtk_widget_get_toplevel(widget));
    const std::string key = std::string("side-picture:") + filename;
    auto* kept = static_cast<KeptPicture*>(g_object_get_data(window, key.c_str()));
    if (!kept) {
        kept = new KeptPicture{load(filename)};
        g_object_set_data_full(window, key.c_str(), kept, dropKeptPicture);
    }
    return kept->pixbuf ? GDK_PIXBUF(g_object_ref(kept->pixbuf)) : nullptr;
}
