#include "rgba_apps_selects.h"

#include <memory>

namespace
{

struct strv_free
{
  void operator() (gchar **strv) const { g_strfreev (strv); }
};

/* Owns a vector from g_strsplit, so it is freed on every way out. */
using strv_holder = std::unique_ptr<gchar *, strv_free>;

} // namespace

bool
rgba_apps_selects (const gchar *value, const gchar *prgname)
{
  if (value == nullptr)
    return false;

  /* An empty value yields an empty vector, whose first element is NULL:
   * that is inclusion mode with nothing listed. */
  const strv_holder entries (g_strsplit (value, ":", -1));
  const bool exclusion = g_strcmp0 (entries.get ()[0], "allbut") == 0;

  /* The keyword is compared like any other entry, so in exclusion mode a
   * program called "allbut" is left alone.  The walk ends before the
   * terminating NULL, which g_strcmp0 would call equal to a NULL name. */
  bool listed = false;
  for (gchar **entry = entries.get (); *entry != nullptr && !listed; entry++)
    listed = g_strcmp0 (*entry, prgname) == 0;

  return exclusion ? !listed : listed;
}
