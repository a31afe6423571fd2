/* A small GTK 2 program that reports which colormaps its modules left it with.
 *
 * After gtk_init, which loads and runs the modules named by GTK_MODULES,
 * GTK2_MODULES or --gtk-module, it takes two options of its own:
 *   --no-prgname   clear the program name, as no GTK program can
 *   --load=PATH    open the module at PATH and call its gtk_module_init,
 *                  the way GTK does
 *   --style        also print the type of the window's style, which names
 *                  the theme engine that draws it
 * and prints:
 *   args=<the arguments left after GTK's and its own>
 *   widget=<depth of a new window's colormap> default=<depth of the default
 *   colormap> default-is-rgba=<yes|no> window=<depth of the realised window>
 *   [style=<type name of the window's style>]
 */
#include <stdio.h>
#include <string.h>

#include <gtk/gtk.h>

static int
colormap_depth (GdkColormap *colormap)
{
  return colormap != NULL ? gdk_visual_get_depth (gdk_colormap_get_visual (colormap)) : 0;
}

static gboolean
load_module (const char *path, int *argc, char ***argv)
{
  GModule *module = g_module_open (path, G_MODULE_BIND_LOCAL);
  GtkModuleInitFunc init = NULL;
  if (module == NULL || !g_module_symbol (module, "gtk_module_init", (gpointer *) &init))
    {
      fprintf (stderr, "rgba_probe: cannot load %s: %s\n", path, g_module_error ());
      return FALSE;
    }
  init (argc, argv);
  return TRUE;
}

int
main (int argc, char **argv)
{
  gtk_init (&argc, &argv);

  gboolean style = FALSE;
  int first_arg = 1;
  for (; first_arg < argc; first_arg++)
    {
      const char *arg = argv[first_arg];
      if (strcmp (arg, "--no-prgname") == 0)
        g_set_prgname (NULL);
      else if (strcmp (arg, "--style") == 0)
        style = TRUE;
      else if (strncmp (arg, "--load=", 7) == 0)
        {
          if (!load_module (arg + 7, &argc, &argv))
            return 1;
        }
      else
        break;
    }

  printf ("args=");
  for (int i = first_arg; i < argc; i++)
    printf ("%s%s", i > first_arg ? " " : "", argv[i]);
  printf ("\n");

  GtkWidget *window = gtk_window_new (GTK_WINDOW_TOPLEVEL);
  gtk_widget_realize (window);

  GdkColormap *fallback = gtk_widget_get_default_colormap ();
  GdkColormap *rgba = gdk_screen_get_rgba_colormap (gdk_screen_get_default ());
  printf ("widget=%d default=%d default-is-rgba=%s window=%d\n",
          colormap_depth (gtk_widget_get_colormap (window)), colormap_depth (fallback),
          rgba != NULL && fallback == rgba ? "yes" : "no",
          gdk_drawable_get_depth (GDK_DRAWABLE (gtk_widget_get_window (window))));
  if (style)
    printf ("style=%s\n", G_OBJECT_TYPE_NAME (gtk_widget_get_style (window)));

  gtk_widget_destroy (window);
  return 0;
}
