#include <cstdio>
#include <type_traits>

#include <gtk/gtk.h>

#include "rgba_apps_selects.h"

/* The screen's RGBA colormap, once installed; owned by GDK. */
static GdkColormap *rgba_colormap;

/* GTK calls this once it has loaded the module (GTK_MODULES, GTK2_MODULES or
 * --gtk-module) and opened the display.  Each call decides afresh; the
 * colormap it installs stays for the rest of the process, and the module
 * leaves the arguments alone. */
extern "C" G_MODULE_EXPORT void
gtk_module_init (gint *argc, gchar ***argv)
{
  (void) argc;
  (void) argv;

  const gchar *prgname = g_get_prgname ();
  if (!rgba_apps_selects (g_getenv ("GTK_RGBA_APPS"), prgname))
    return;

  /* Only exclusion mode lets a nameless program get this far. */
  printf ("\nprogname=%s; RGBA=on\n", prgname != nullptr ? prgname : "(null)");

  rgba_colormap = gdk_screen_get_rgba_colormap (gdk_screen_get_default ());

  /* Without an RGBA visual (no Composite extension, or
   * XLIB_SKIP_ARGB_VISUALS set) there is nothing to install, and GTK
   * would answer a NULL colormap with a critical warning. */
  if (rgba_colormap == nullptr)
    return;

  gtk_widget_push_colormap (rgba_colormap);
  gtk_widget_set_default_colormap (rgba_colormap);
}

static_assert (std::is_same<decltype (&gtk_module_init), GtkModuleInitFunc>::value,
               "GTK calls gtk_module_init through GtkModuleInitFunc");
