/* A GTK 2 window that paints itself with a translucent fill and a caption,
 * to show what the RGBA colormap does under a compositing manager.
 *
 * usage: translucent_window X Y CAPTION
 */
#include <stdlib.h>

#include <gtk/gtk.h>

static gboolean
paint (GtkWidget *widget, GdkEventExpose *event, gpointer caption)
{
  (void) event;
  cairo_t *cr = gdk_cairo_create (gtk_widget_get_window (widget));

  /* SOURCE, so the window's own pixels carry the alpha: under an RGBA
   * colormap the compositor blends them over what lies beneath. */
  cairo_set_operator (cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_rgba (cr, 0.15, 0.35, 0.85, 0.45);
  cairo_paint (cr);

  cairo_set_operator (cr, CAIRO_OPERATOR_OVER);
  cairo_set_source_rgb (cr, 1, 1, 1);
  cairo_select_font_face (cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
  cairo_set_font_size (cr, 18);
  cairo_move_to (cr, 14, 30);
  cairo_show_text (cr, caption);

  cairo_destroy (cr);
  return TRUE;
}

int
main (int argc, char **argv)
{
  gtk_init (&argc, &argv);
  if (argc != 4)
    {
      g_printerr ("usage: %s X Y CAPTION\n", argv[0]);
      return 2;
    }

  GtkWidget *window = gtk_window_new (GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title (GTK_WINDOW (window), argv[3]);
  gtk_window_set_default_size (GTK_WINDOW (window), 300, 200);
  gtk_window_move (GTK_WINDOW (window), atoi (argv[1]), atoi (argv[2]));
  gtk_widget_set_app_paintable (window, TRUE);
  g_signal_connect (window, "expose-event", G_CALLBACK (paint), argv[3]);
  g_signal_connect (window, "destroy", G_CALLBACK (gtk_main_quit), NULL);
  gtk_widget_show (window);

  gtk_main ();
  return 0;
}
