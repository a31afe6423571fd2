#ifndef RGBA_APPS_SELECTS_H
#define RGBA_APPS_SELECTS_H

#include <glib.h>

/* Decides whether the program called @prgname is switched to the RGBA
 * colormap, given @value, the contents of GTK_RGBA_APPS.
 *
 * @value is a colon-separated list of program names (inclusion), or the
 * keyword "allbut" followed by the names to leave alone (exclusion).  A
 * NULL @value (variable not set) selects nothing; a NULL @prgname equals
 * no entry.  Entries are compared byte for byte, with nothing trimmed. */
bool rgba_apps_selects (const gchar *value, const gchar *prgname);

#endif /* RGBA_APPS_SELECTS_H */
