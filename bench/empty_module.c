/* A GTK 2 module that does nothing, linked to GTK like rgba-colormap: what
 * any GTK 2 module costs the program that loads it. */
#include <gtk/gtk.h>

G_MODULE_EXPORT void gtk_module_init (gint *argc, gchar ***argv);

void
gtk_module_init (gint *argc, gchar ***argv)
{
  (void) argc;
  (void) argv;
}
