#include "interface/side_picture.h"

#include <cstring>
#include <string>

#include "interface/wizard_xpm.h"

namespace {

void showBuiltInPicture(GtkWidget* image) {
    if (gtk_widget_get_scale_factor(image) >= 2)
        gtk_image_set_from_surface(GTK_IMAGE(image), builtInPictureSurface());
    else
        gtk_image_set_from_pixbuf(GTK_IMAGE(image), builtInPicturePixbuf());
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

GdkPixbuf* builtInPicturePixbuf() {
    // Over the constant pixels themselves, as read-only data: whoever wants to write to
    // a pixbuf's pixels gets a copy.
    static GdkPixbuf* const pixbuf = [] {
        const int stride = WizardPictureWidth * 4;
        GBytes* pixels = g_bytes_new_static(wizard_rgba_1x, stride * WizardPictureHeight);
        GdkPixbuf* made = gdk_pixbuf_new_from_bytes(
            pixels, GDK_COLORSPACE_RGB, TRUE, 8, WizardPictureWidth, WizardPictureHeight, stride);
        g_bytes_unref(pixels);
        return made;
    }();
    return pixbuf;
}

cairo_surface_t* builtInPictureSurface() {
    static cairo_surface_t* const surface = [] {
        const int width = 2 * WizardPictureWidth, height = 2 * WizardPictureHeight;
        cairo_surface_t* made = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
        cairo_surface_flush(made);
        unsigned char* data = cairo_image_surface_get_data(made);
        const int stride = cairo_image_surface_get_stride(made);
        // A copy rather than a surface over the constant array: cairo takes its data
        // as writable.
        for (int y = 0; y < height; ++y)
            std::memcpy(data + static_cast<ptrdiff_t>(y) * stride, wizard_argb_2x + y * width,
                        static_cast<size_t>(width) * sizeof *wizard_argb_2x);
        cairo_surface_mark_dirty(made);
        cairo_surface_set_device_scale(made, 2, 2);
        return made;
    }();
    return surface;
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
